#!/usr/bin/env bash
# A second start in a folder where the window is already served says so, in Chinese with the English
# beside it, names the VNC address of the first, and ends with a nonzero status without starting a
# display; the record goes with the first, and a stale record does not stop a start.
#   usage: second_start_in_folder.sh SCRIPTS_DIR PROGRAM
set -uo pipefail

scripts=$1
program=$2
port=$((20000 + $$ % 20000))
work=$(mktemp -d)
pid=""
trap '[ -n "$pid" ] && kill -- -$pid 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; cat "$work/out" 2>/dev/null; exit 1; }

cd "$work"
setsid bash "$scripts/serve-headless.sh" "$port" "$program" >"$work/out" 2>&1 &
pid=$!
for _ in $(seq 100); do
    [ -n "$(ss -Hltn "sport = :$port")" ] && break
    sleep 0.1
done
[ -n "$(ss -Hltn "sport = :$port")" ] || fail "the first start serves nothing on $port"
grep -qx "vnc=$port" .quillon-run || fail "no record of the port beside db.mdb"

# Both ways in: the serving script itself, and run.sh (which says so before it installs or builds).
for second in "$scripts/serve-headless.sh $((port + 1)) $program" "$scripts/run.sh"; do
    status=0
    said=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 20 bash $second 2>&1 >/dev/null) || status=$?
    [ "$status" -ne 0 ] && [ "$status" -ne 124 ] || fail "$second: status $status"
    for words in "已在此文件夹" "127.0.0.1:$port" "already runs in this folder"; do
        grep -qF "$words" <<<"$said" || fail "$second said no \"$words\": $said"
    done
done
[ -z "$(ss -Hltn "sport = :$((port + 1))")" ] || fail "the refused start serves a display"
kill -0 "$pid" 2>/dev/null || fail "the first start ended"

# The first one ends: its record goes with it.
kill -- -"$pid"
wait "$pid" 2>/dev/null
pid=""
for _ in $(seq 50); do
    [ -e .quillon-run ] || break
    sleep 0.1
done
[ ! -e .quillon-run ] || fail "the record outlived the program"

# A record left by a process that is gone does not count.
sleep 0 & dead=$!
wait "$dead"
printf 'pid=%s\nvnc=%s\n' "$dead" "$port" >.quillon-run
. "$scripts/running-here.sh"
if quillon_running_here 2>/dev/null; then fail "a stale record counted"; fi
echo "second start refused with the first's VNC address; stale record ignored"
