#!/usr/bin/env bash
# The Linux program from its real command line: the exit codes of refused switches, and whole
# headless runs ended by SIGTERM, with a program name that needs quoting too.
# Usage: program_test.sh PROGRAM CUBE_DAT
set -u
program=$1
cube=$2
work=$(mktemp -d /tmp/cubrix-program-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/drive/windows"
cp "$cube" "$work/drive/windows/Cube.dat"
export CUBRIX_DRIVE="$work/drive"
unset DISPLAY CUBRIX_WIN95
failures=0

# expect CODE COMMAND...: the command ends with that exit status (-1 shows as 255).
expect() {
  local want=$1
  shift
  timeout -k 2 20 "$@" >/dev/null 2>&1
  local got=$?
  if [ "$got" -ne "$want" ]; then
    echo "FAIL: $* ended with $got, expected $want"
    failures=$((failures + 1))
  fi
}

expect 255 "$program" /x
expect 255 "$program" /?
expect 255 "$program" /p 0
expect 255 "$program" /p:1234
expect 255 "$program" /p 4294967295
expect 255 "$program" /a 1234  # the NT platform refuses the password change
expect 0 env CUBRIX_WIN95=1 "$program" /a 1234

# runs_until_terminated COMMAND...: runs a saver for a second, ends it as a screen-saver daemon
# does, with SIGTERM, and expects a clean end (0).
runs_until_terminated() {
  "$@" >/dev/null 2>&1 &
  local saver=$!
  sleep 1
  kill -TERM "$saver"
  local waited=0
  while kill -0 "$saver" 2>/dev/null && [ "$waited" -lt 50 ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  kill -KILL "$saver" 2>/dev/null
  wait "$saver"
  local got=$?
  if [ "$got" -ne 0 ]; then
    echo "FAIL: $* ended with $got after SIGTERM, expected 0"
    failures=$((failures + 1))
  fi
}

# A whole run: the saver draws until it is told to end, then writes its statistics.
runs_until_terminated "$program" /s
if ! grep -Eq '^Total Frames +=[1-9][0-9]*' "$work/drive/windows/times.dat" 2>/dev/null; then
  echo "FAIL: no frames counted in times.dat after a full-screen run"
  failures=$((failures + 1))
fi

# A name with a blank reaches the saver in quotes; the switch behind it must still be found.
ln -s "$program" "$work/Cubrix Saver"
rm -f "$work/drive/windows/times.dat"
runs_until_terminated "$work/Cubrix Saver" /s
[ -f "$work/drive/windows/times.dat" ] || { echo "FAIL: quoted name: no times.dat"; failures=$((failures + 1)); }
expect 255 "$work/Cubrix Saver" -x

[ "$failures" -eq 0 ] && echo "all program checks passed"
exit "$failures"
