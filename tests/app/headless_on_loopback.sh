#!/usr/bin/env bash
# The window served without a display listens on the loopback address only: nothing on another
# address takes VNC connections, and the virtual display takes no TCP at all.
#   usage: headless_on_loopback.sh SERVE_SCRIPT PROGRAM
set -uo pipefail

serve=$1
program=$2
port=$((20000 + $$ % 20000))
work=$(mktemp -d)
trap 'kill -- -$pid 2>/dev/null; rm -rf "$work"' EXIT

cd "$work"
setsid bash "$serve" "$port" "$program" >"$work/out" 2>&1 &
pid=$!

listening=""
for _ in $(seq 100); do
    listening=$(ss -Hltn "sport = :$port")
    [ -n "$listening" ] && break
    sleep 0.1
done
if [ -z "$listening" ]; then
    echo "FAIL: nothing listens on port $port"; cat "$work/out"; exit 1
fi
if ! kill -0 "$pid" 2>/dev/null; then
    echo "FAIL: the program ended"; cat "$work/out"; exit 1
fi
outside=$(printf '%s\n' "$listening" | awk '{print $4}' | grep -v -E '^(127\.0\.0\.1|\[::1\]):' || true)
if [ -n "$outside" ]; then
    echo "FAIL: VNC listens beyond loopback: $outside"; exit 1
fi
x11=$(ss -Hltn 'sport >= :6000 and sport <= :6100' | awk '{print $4}')
if [ -n "$x11" ]; then
    echo "FAIL: an X display takes TCP: $x11"; exit 1
fi
grep -q "127.0.0.1:$port" "$work/out" || { echo "FAIL: no word on how to reach it"; cat "$work/out"; exit 1; }
echo "listening on loopback only: $(printf '%s ' $(printf '%s\n' "$listening" | awk '{print $4}'))"
