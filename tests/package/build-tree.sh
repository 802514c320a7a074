#!/usr/bin/env bash
# The program straight from a build tree (or an install prefix), run as a new user (empty HOME,
# no display): its drive is seeded from the template beside it, so the run counts frames.
# Usage: build-tree.sh PROGRAM CUBE_DAT [LABEL]   (LABEL names the results; default "build tree")
set -u
program=$1
cube=$2
label=${3:-build tree}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/cubrix-build-tree.XXXXXX)
source "$here/lib.sh"
trap 'rm -rf "$work"' EXIT

env -i HOME="$work" PATH="$PATH" "$program" /s >/dev/null 2>&1 &
saver=$!
sleep 1
kill -TERM "$saver"
wait "$saver"
check "$label, empty HOME: the saver ends cleanly, by SIGTERM" test $? -eq 143
drive=$work/.local/share/cubrix/drive_c/windows
check "$label, empty HOME: the drive got the sample" cmp -s "$cube" "$drive/Cube.dat"
check "$label, empty HOME: times.dat counts frames" has_frames "$drive/times.dat"
