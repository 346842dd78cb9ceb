#!/usr/bin/env bash
# Installs what is needed, builds Quillon and starts it in the current directory, which holds the
# program's database db.mdb (an empty one is made from the schema when there is none).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$here/scripts/running-here.sh"
# A second start in a folder where Quillon runs says where the first one is, and ends.
if quillon_running_here; then exit 1; fi
"$here/scripts/install-deps.sh"

cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$here/build" --target quillon -j"$(nproc)"

if [ ! -e db.mdb ]; then
    sqlite3 db.mdb < "$here/db/schema.sql"
    echo "已在 $(pwd) 新建空的 db.mdb。(Made an empty db.mdb in $(pwd).)"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    exec "$here/scripts/serve-headless.sh" "${QUILLON_VNC_PORT:-5900}" "$here/build/quillon"
fi

quillon_record_run || exit 1
trap quillon_forget_run EXIT
"$here/build/quillon"
