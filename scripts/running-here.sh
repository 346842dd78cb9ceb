#!/usr/bin/env bash
# The record of a Quillon started by these scripts in a folder: a file beside db.mdb naming the
# process that serves the window and, when it is served over VNC, the port. Sourced by run.sh and
# serve-headless.sh; a record whose process is gone (a crash, a kill -9) is stale and is ignored.

run_record="$PWD/.quillon-run"

# Says (in Chinese, the English beside it) that Quillon already runs in this folder and where its
# window is, and succeeds; fails when nothing runs here.
quillon_running_here() {
    [ -r "$run_record" ] || return 1
    local pid="" port="" display=""
    while IFS='=' read -r key value; do
        case $key in
            pid) pid=$value ;;
            vnc) port=$value ;;
            display) display=$value ;;
        esac
    done <"$run_record"
    [[ $pid =~ ^[0-9]+$ ]] && kill -0 "$pid" 2>/dev/null || return 1
    echo "邮件发送工具已在此文件夹（$PWD）中运行（进程 $pid），不再启动第二个。" >&2
    echo "Quillon already runs in this folder ($PWD, process $pid); not starting a second one." >&2
    if [ -n "$port" ]; then
        echo "它的窗口通过 VNC 在本机 127.0.0.1:$port 提供。" >&2
        echo "Its window is served over VNC at 127.0.0.1:$port, on this machine only." >&2
    elif [ -n "$display" ]; then
        echo "它的窗口在显示器 $display 上。" >&2
        echo "Its window is on display $display." >&2
    fi
    return 0
}

# Records this process (and the VNC port, if any) as the one serving Quillon here; removed again by
# quillon_forget_run when it ends.
# Fails when another start made its record first (two starts at the same moment).
quillon_record_run() {
    local port=${1:-}
    # A stale record (its process gone) is taken over.
    quillon_running_here 2>/dev/null || rm -f "$run_record"
    (
        set -o noclobber
        {
            echo "pid=$$"
            if [ -n "$port" ]; then echo "vnc=$port"; else echo "display=${DISPLAY:-${WAYLAND_DISPLAY:-}}"; fi
        } >"$run_record"
    ) 2>/dev/null || { quillon_running_here; return 1; }
}

quillon_forget_run() {
    # Only our own record: a second start that was refused never wrote one.
    if [ -r "$run_record" ] && grep -qx "pid=$$" "$run_record"; then rm -f "$run_record"; fi
}
