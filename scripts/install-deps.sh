#!/usr/bin/env bash
# Installs the Debian 12 packages Quillon needs to build, run, test and measure. Safe to run again:
# it asks apt only when something is missing. The PostgreSQL server is for the tests, which start a
# throwaway cluster of their own (as the user nobody when run as root, through runuser); the
# Debian package's own cluster, if any, is never touched.
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libqt6sql6-sqlite sqlite3 libsqlite3-dev shared-mime-info
    libfreexl-dev libquazip1-qt6-dev libexpat1-dev libssl-dev openssl ca-certificates
    libgtest-dev libgmock-dev libbenchmark-dev hyperfine
    python3 python3-aiosmtpd python3-openpyxl python3-xlrd python3-xlwt libxlsxwriter-dev xlsx2csv
    xvfb xauth fonts-wqy-microhei x11vnc openbox iproute2 qt6-translations-l10n
    clang libclang-rt-14-dev
    postgresql libqt6sql6-psql util-linux
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done

if ((${#missing[@]})); then
    echo "正在安装缺少的软件包 (Installing the missing packages): ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
fi
