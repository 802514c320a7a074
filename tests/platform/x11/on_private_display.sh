#!/usr/bin/env bash
# Runs a test program on an X server of its own with the given depth, so the presenter meets a
# display that is not 24-bit too. Exit 77 (skipped) without Xvfb.
# Usage: on_private_display.sh DEPTH PROGRAM [ARGS...]
set -u
depth=$1
shift
command -v Xvfb >/dev/null || { echo "no Xvfb: skipped"; exit 77; }
file=$(mktemp /tmp/cubrix-display.XXXXXX)
Xvfb -displayfd 9 -nolisten tcp -screen 0 "640x480x$depth" 9>"$file" >/dev/null 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null; rm -f "$file"' EXIT
for _ in $(seq 1 100); do
  [ -s "$file" ] && break
  sleep 0.1
done
[ -s "$file" ] || { echo "the private X server did not start"; exit 1; }
DISPLAY=":$(head -n 1 "$file")" "$@"
