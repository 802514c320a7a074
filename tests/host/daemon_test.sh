#!/usr/bin/env bash
# The daemon wrapper: how the window a daemon names becomes the saver's preview switch; its
# options and its name, as built (cubrix-daemon) and as installed (cubrix); where the installed one
# looks for the program; and, where there is a display, that a saver it runs ends cleanly and
# promptly on SIGTERM and when the daemon's window vanishes.
# Usage: daemon_test.sh WRAPPER INSTALLED_WRAPPER PROGRAM CUBE_DAT
set -u
wrapper=$1
installed=$2
program=$3
cube=$4
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
work=$(mktemp -d /tmp/cubrix-daemon-test.XXXXXX)
daemon_window=""
trap '[ -n "$daemon_window" ] && kill "$daemon_window" 2>/dev/null; rm -rf "$work"' EXIT

# translates WANT [VAR=VALUE ...] -- ARGS...: the wrapper would start the saver with WANT.
translates() {
  local want=$1 settings=()
  shift
  while [ "$1" != "--" ]; do settings+=("$1"); shift; done
  shift
  local got
  # Without a display: these ids name no window there, and only the translation is checked.
  got=$(env -u XSCREENSAVER_WINDOW -u DISPLAY "${settings[@]}" CUBRIX_PROGRAM=/bin/echo "$wrapper" "$@" 2>/dev/null)
  [ "$got" = "$want" ] || fail "wrapper $* ${settings[*]}: started '$got', expected '$want'"
}

# refuses ARGS...: the wrapper ends with 2, says why in one line and starts nothing.
refuses() {
  local got status
  got=$(env -u XSCREENSAVER_WINDOW CUBRIX_PROGRAM=/bin/echo "$wrapper" "$@" 2>"$work/stderr")
  status=$?
  [ "$status" -eq 2 ] && [ -z "$got" ] && [ "$(wc -l <"$work/stderr")" -eq 1 ] ||
    fail "wrapper $*: status $status, started '$got', stderr '$(cat "$work/stderr")'"
}

translates "/p 27262983" -- -window-id 0x1a00007
translates "/p 27262983" -- --window-id 0X1A00007
translates "/p 1234" -- --window-id=1234 -install -visual default
translates "/p 7" -- -window-id 007
translates "/p 16" XSCREENSAVER_WINDOW=0x10 -- -root
translates "/p 5" XSCREENSAVER_WINDOW=0x10 -- -window-id 5
translates "/p 4294967295" -- -window-id 0xffffffff
translates "/s" --
refuses -window-id abc
refuses -window-id 0x
refuses -window-id 0
refuses -window-id -5
refuses -window-id 4294967296
refuses -window-id 0x100000000
refuses -window-id
refuses -window-id ""
refuses -window-id=
refuses --window-id= -root

# answers WRAPPER: --help and -h print usage on stdout with 0, --version the version; an option it
# does not know gets one line on stderr under the wrapper's own name, 2, and starts nothing.
answers() {
  local w=$1 name out status option
  name=$(basename "$w")
  for option in --help -h; do
    out=$(CUBRIX_PROGRAM=/bin/echo "$w" "$option" 2>"$work/stderr")
    status=$?
    [ "$status" -eq 0 ] && [[ $out == "usage: $name "* ]] && [ ! -s "$work/stderr" ] ||
      fail "$name $option: status $status, printed '$out', stderr '$(cat "$work/stderr")'"
  done
  out=$(CUBRIX_PROGRAM=/bin/echo "$w" --version 2>&1)
  [[ $out =~ ^$name\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "$name --version: printed '$out'"
  out=$(CUBRIX_PROGRAM=/bin/echo "$w" -root --frobnicate 2>"$work/stderr")
  status=$?
  [ "$status" -eq 2 ] && [ -z "$out" ] && [ "$(wc -l <"$work/stderr")" -eq 1 ] &&
    grep -q "^$name: .*'--frobnicate'" "$work/stderr" ||
    fail "$name --frobnicate: status $status, started '$out', stderr '$(cat "$work/stderr")'"
}
answers "$wrapper"
answers "$installed"

# Installed, the wrapper runs the program in bin/ beside its libexec/ and nothing else: neither a
# cubrix on the PATH nor a development tree's build; without its program it says so.
tree=$work/tree
mkdir -p "$tree/libexec/xscreensaver" "$tree/bin" "$tree/libexec/build/native/host" "$work/path"
cp "$installed" "$tree/libexec/xscreensaver/cubrix"
for stand_in in "$tree/bin" "$tree/libexec/build/native/host" "$work/path"; do
  printf '#!/bin/sh\necho "%s $*"\n' "$stand_in" >"$stand_in/cubrix"
  chmod +x "$stand_in/cubrix"
done
run_installed() { env -u CUBRIX_PROGRAM -u XSCREENSAVER_WINDOW PATH="$tree/libexec/xscreensaver:$work/path:$PATH" cubrix "$@"; }
out=$(run_installed 2>&1)
[ "$out" = "$tree/bin /s" ] || fail "installed wrapper: started '$out', expected the program in bin/"
rm "$tree/bin/cubrix"
out=$(run_installed 2>&1)
status=$?
[ "$status" -eq 1 ] && [[ $out == "cubrix: no cubrix program found"* ]] ||
  fail "installed wrapper without its program: status $status, '$out'"

if [ -z "${DISPLAY:-}" ] || ! command -v xlogo >/dev/null || ! command -v xwininfo >/dev/null; then
  echo "no display (or no xlogo/xwininfo): the ending checks were skipped"
  exit "$failures"
fi

mkdir -p "$work/drive/windows"
cp "$cube" "$work/drive/windows/Cube.dat"
# The wrapper as built runs the program beside it; CUBRIX_PROGRAM names it only where the build
# has it elsewhere.
export CUBRIX_DRIVE="$work/drive"
[ "$(dirname "$wrapper")/cubrix" -ef "$program" ] || export CUBRIX_PROGRAM="$program"

# A window standing in for the daemon's: its process in daemon_window, its id in window_id.
# Each gets a name of its own, so that no other window is taken for it. The X server may refuse
# a burst of new connections, so a stand-in that never shows is started again, up to three times.
open_daemon_window() {
  local name="cubrix-daemon-test-$$-$1"
  window_id=""
  for _ in 1 2 3; do
    xlogo -name "$name" -geometry 320x240+10+10 >/dev/null 2>&1 &
    daemon_window=$!
    for _ in $(seq 1 50); do
      window_id=$(xwininfo -name "$name" 2>/dev/null | sed -n 's/.*Window id: \(0x[0-9a-fA-F]*\).*/\1/p')
      [ -n "$window_id" ] && return
      kill -0 "$daemon_window" 2>/dev/null || break
      sleep 0.1
    done
    kill "$daemon_window" 2>/dev/null
    wait "$daemon_window" 2>/dev/null
  done
  daemon_window=""
}

# How many child windows the window with the given id has.
child_count() {
  local count
  count=$(xwininfo -children -id "$1" 2>/dev/null | sed -n 's/^ *\([0-9][0-9]*\) child.*/\1/p')
  echo "${count:-0}"
}

# ends_cleanly HOW SAVER_PID STATUS: within 2 s, with that status and a fresh times.dat.
ends_cleanly() {
  local how=$1 saver=$2 want=$3 waited=0
  while kill -0 "$saver" 2>/dev/null && [ "$waited" -lt 20 ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  if kill -0 "$saver" 2>/dev/null; then
    fail "$how: the saver still runs after 2 s"
    kill -KILL "$saver"
  fi
  wait "$saver"
  local status=$?
  [ "$status" -eq "$want" ] || fail "$how: the saver ended with $status, expected $want"
  [ -f "$work/drive/windows/times.dat" ] || fail "$how: no times.dat"
  rm -f "$work/drive/windows/times.dat"
}

# A window that is gone by the time the saver starts: one line on stderr, the saver's own status
# for a refused preview (255), and no saver started.
open_daemon_window gone
if [ -n "$window_id" ]; then
  kill "$daemon_window"
  wait "$daemon_window" 2>/dev/null
  daemon_window=""
  for _ in $(seq 1 50); do xwininfo -id "$window_id" >/dev/null 2>&1 || break; sleep 0.1; done
  started=$(CUBRIX_PROGRAM=/bin/echo "$wrapper" -window-id "$window_id" 2>"$work/stderr")
  status=$?
  [ "$status" -eq 255 ] || fail "a window that is gone: status $status, expected 255"
  [ -z "$started" ] || fail "a window that is gone: the wrapper started '$started'"
  [ "$(wc -l <"$work/stderr")" -eq 1 ] && grep -q "no window with id" "$work/stderr" ||
    fail "a window that is gone: stderr was '$(cat "$work/stderr")'"
else
  fail "gone: the stand-in daemon window never appeared"
fi

for ending in sigterm vanished; do
  open_daemon_window "$ending"
  [ -n "$window_id" ] || { fail "$ending: the stand-in daemon window never appeared"; continue; }
  children=$(child_count "$window_id")
  XSCREENSAVER_WINDOW=$window_id "$wrapper" -root &
  saver=$!
  # The saver has started once its child window stands inside the daemon's (5 s at most).
  for _ in $(seq 1 50); do
    [ "$(child_count "$window_id")" -gt "$children" ] && break
    sleep 0.1
  done
  # Ended by SIGTERM, the saver dies by it after its clean-up (128 + 15), as daemons expect.
  if [ "$ending" = sigterm ]; then kill -TERM "$saver"; want=143; else kill "$daemon_window"; want=0; fi
  ends_cleanly "$ending" "$saver" "$want"
  kill "$daemon_window" 2>/dev/null
  wait "$daemon_window" 2>/dev/null
  daemon_window=""
done

[ "$failures" -eq 0 ] && echo "all daemon checks passed"
exit "$failures"
