#!/usr/bin/env bash
# Serves a program's window to VNC viewers on this machine only: a virtual X display (Xvfb) with a
# small window manager (openbox: a title bar to move and close the window), and x11vnc bound to the
# loopback address. From another machine, reach it through an SSH tunnel. Ends when the program does.
# The port is recorded beside db.mdb while it serves, so that a second start in the same folder can
# say where the window is (running-here.sh).
#   usage: serve-headless.sh PORT PROGRAM [ARGS...]
set -euo pipefail

port=$1
shift

. "$(dirname "${BASH_SOURCE[0]}")/running-here.sh"
quillon_record_run "$port" || exit 1

# A display number nobody uses yet.
display=99
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
    display=$((display + 1))
done

pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    quillon_forget_run
}
trap cleanup EXIT

Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$display" ] && break
    sleep 0.1
done
export DISPLAY=":$display"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

openbox >/dev/null 2>&1 &
pids+=($!)
x11vnc -display "$DISPLAY" -localhost -rfbport "$port" -forever -shared -nopw -quiet >/dev/null 2>&1 &
pids+=($!)

echo "没有显示器：窗口通过 VNC 在本机 127.0.0.1:$port 提供，仅限本机访问。"
echo "(No display: the window is served over VNC at 127.0.0.1:$port, on this machine only.)"
echo "从其他电脑访问：ssh -L $port:127.0.0.1:$port $(id -un)@$(hostname)，再用 VNC 查看器连接 localhost:$port。"
echo "(From another machine: ssh -L $port:127.0.0.1:$port $(id -un)@$(hostname), then a VNC viewer on localhost:$port.)"
"$@"
