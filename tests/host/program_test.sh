#!/usr/bin/env bash
# The Linux program from its real command line: the exit codes of refused switches, whole
# headless runs ended by SIGTERM (and the one line they print), with a program name that needs
# quoting too, a DISPLAY with no server behind it, and (where Xvfb is installed) a second saver
# started while one runs.
# Usage: program_test.sh PROGRAM CUBE_DAT
set -u
program=$1
cube=$2
work=$(mktemp -d /tmp/cubrix-program-test.XXXXXX)
xvfb=""
trap '[ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT
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

# Help and the version, asked as of any Linux program, go to the standard output with status 0.
for request in --help -h --version; do
  expect 0 "$program" "$request"
done
if ! timeout 20 "$program" --help | grep -q '^usage: cubrix ' || ! timeout 20 "$program" --version | grep -q '^cubrix [0-9]'; then
  echo "FAIL: --help or --version printed nothing on the standard output"
  failures=$((failures + 1))
fi

# runs_until_terminated COMMAND...: runs a saver for a second, ends it as a screen-saver daemon
# does, with SIGTERM, and expects a clean end, then death by that signal (143).
# terminate PID: SIGTERM, then up to 5 s for the process to end (SIGKILL after that); returns its
# exit status.
terminate() {
  kill -TERM "$1" 2>/dev/null
  local waited=0
  while kill -0 "$1" 2>/dev/null && [ "$waited" -lt 50 ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  kill -KILL "$1" 2>/dev/null
  wait "$1"
}

runs_until_terminated() {
  "$@" >/dev/null 2>"$work/stderr" &
  local saver=$!
  sleep 1
  terminate "$saver"
  local got=$?
  if [ "$got" -ne 143 ]; then
    echo "FAIL: $* ended with $got after SIGTERM, expected 143"
    failures=$((failures + 1))
  fi
}

# A whole run: the saver draws until it is told to end, then writes its statistics.
runs_until_terminated "$program" /s
if ! grep -Eq '^Total Frames +=[1-9][0-9]*' "$work/drive/windows/times.dat" 2>/dev/null; then
  echo "FAIL: no frames counted in times.dat after a full-screen run"
  failures=$((failures + 1))
fi
if [ "$(wc -l <"$work/stderr")" -ne 1 ] || ! grep -q 'draws nowhere' "$work/stderr"; then
  echo "FAIL: a run without DISPLAY said on stderr: '$(cat "$work/stderr")'"
  failures=$((failures + 1))
fi

# DISPLAY naming a server that is not there ends the run at once, with one line saying so.
number=90
while [ -e "/tmp/.X11-unix/X$number" ]; do number=$((number + 1)); done
DISPLAY=":$number" timeout -k 2 20 "$program" /s >/dev/null 2>"$work/stderr"
got=$?
if [ "$got" -ne 1 ] || [ "$(wc -l <"$work/stderr")" -ne 1 ] || ! grep -q ":$number" "$work/stderr"; then
  echo "FAIL: with DISPLAY=:$number and no server there it ended with $got, saying '$(cat "$work/stderr")'"
  failures=$((failures + 1))
fi

# A name with a blank reaches the saver in quotes; the switch behind it must still be found.
ln -s "$program" "$work/Cubrix Saver"
rm -f "$work/drive/windows/times.dat"
runs_until_terminated "$work/Cubrix Saver" /s
[ -f "$work/drive/windows/times.dat" ] || { echo "FAIL: quoted name: no times.dat"; failures=$((failures + 1)); }
expect 255 "$work/Cubrix Saver" -x

# A second full-screen saver on the same display brings the first forward and ends at once;
# the first goes on. A private X server keeps the full-screen window from other tests' way.
second_saver_defers() {
  if ! command -v Xvfb >/dev/null || ! command -v xwininfo >/dev/null; then
    echo "no Xvfb (or no xwininfo): the second-saver check was skipped"
    return
  fi
  Xvfb -displayfd 9 -nolisten tcp -screen 0 640x480x24 9>"$work/display" >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 1 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
  done
  if [ ! -s "$work/display" ]; then
    echo "FAIL: the private X server did not start"
    failures=$((failures + 1))
    return
  fi
  local display=":$(head -n 1 "$work/display")"
  DISPLAY=$display "$program" /s >/dev/null 2>&1 &
  local first=$!
  local shown=""
  for _ in $(seq 1 100); do
    shown=$(DISPLAY=$display xwininfo -root -children 2>/dev/null | grep -c '"Screen Saver"')
    [ "$shown" -ge 1 ] && break
    sleep 0.1
  done
  if [ "$shown" -lt 1 ]; then
    echo "FAIL: the first saver never showed its window"
    failures=$((failures + 1))
  else
    local started=$SECONDS
    DISPLAY=$display timeout -k 2 10 "$program" /s >/dev/null 2>&1
    local got=$?
    [ "$got" -eq 0 ] || { echo "FAIL: the second saver ended with $got, expected 0"; failures=$((failures + 1)); }
    [ $((SECONDS - started)) -le 5 ] || { echo "FAIL: the second saver took $((SECONDS - started)) s"; failures=$((failures + 1)); }
    kill -0 "$first" 2>/dev/null || { echo "FAIL: the first saver ended when the second started"; failures=$((failures + 1)); }
    shown=$(DISPLAY=$display xwininfo -root -children 2>/dev/null | grep -c '"Screen Saver"')
    [ "$shown" -eq 1 ] || { echo "FAIL: $shown saver windows, expected 1"; failures=$((failures + 1)); }
  fi
  terminate "$first"
  local status=$?
  [ "$status" -eq 143 ] || { echo "FAIL: the first saver ended with $status after SIGTERM, expected 143"; failures=$((failures + 1)); }
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
  xvfb=""
}
second_saver_defers

[ "$failures" -eq 0 ] && echo "all program checks passed"
exit "$failures"
