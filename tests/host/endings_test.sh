#!/usr/bin/env bash
# How the Linux program ends under X, each on a private Xvfb: every termination signal; a signal
# while the load-failure message is up, full screen and inside another program's window, where
# the message is drawn within the saver's own child; that window going away; a lost X server.
# Each ending must leave a times.dat with true ticks.
# Usage: endings_test.sh PROGRAM CUBE_DAT
set -u
program=$(realpath "$1")
cube=$2
if ! command -v Xvfb >/dev/null || ! command -v xwininfo >/dev/null || ! command -v xlogo >/dev/null ||
   ! command -v import >/dev/null || ! command -v python3 >/dev/null; then
  echo "no Xvfb (or no xwininfo, xlogo, import or python3): the ending checks were skipped"
  exit 0
fi
work=$(mktemp -d /tmp/cubrix-endings-test.XXXXXX)
servers=()
helpers=()
trap 'for p in "${helpers[@]}" "${servers[@]}"; do kill "$p" 2>/dev/null; done; rm -rf "$work"' EXIT
mkdir -p "$work/drive/windows"
export CUBRIX_DRIVE="$work/drive"
unset CUBRIX_WIN95
times="$work/drive/windows/times.dat"
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# start_server: a fresh X server; its display in DISPLAY, its process in server.
start_server() {
  local file="$work/display.$RANDOM"
  Xvfb -displayfd 9 -nolisten tcp -screen 0 640x480x24 9>"$file" >/dev/null 2>&1 &
  server=$!
  servers+=("$server")
  for _ in $(seq 1 100); do
    [ -s "$file" ] && break
    sleep 0.1
  done
  export DISPLAY=":$(head -n 1 "$file")"
}

now_ms() { python3 -c 'import time; print(int(time.monotonic() * 1000))'; }
field() { sed -n "s/^$1 *=\(-\?[0-9]*\).*/\1/p" "$times"; }
with_object() { cp "$cube" "$work/drive/windows/Cube.dat"; }
without_object() { rm -f "$work/drive/windows/Cube.dat"; }

# waits_for COMMAND...: up to 5 s for the command to succeed.
waits_for() {
  for _ in $(seq 1 50); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# ends HOW PID STATUS: the saver ends within 5 s with that status.
ends() {
  local how=$1 saver=$2 want=$3
  # 2>/dev/null: the shell's own word on a job that a signal killed, which here is no failure.
  { waits_for eval "! kill -0 $saver" || { fail "$how: still running after 5 s"; kill -KILL "$saver"; }; } 2>/dev/null
  wait "$saver" 2>/dev/null
  local got=$?
  [ "$got" -eq "$want" ] || fail "$how: ended with $got, expected $want"
}

# frames_are HOW WHAT: Total Frames is 0 ("none") or more ("some"); the ticks are true ones.
frames_are() {
  local how=$1 what=$2 frames started ended
  [ -f "$times" ] || { fail "$how: no times.dat"; return; }
  frames=$(field "Total Frames")
  started=$(field Started)
  ended=$(field Ended)
  if [ "$what" = none ]; then
    [ "$frames" = 0 ] || fail "$how: $frames frames, expected 0"
  else
    [ "${frames:-0}" -gt 0 ] || fail "$how: no frames counted"
  fi
  [ "${started:-0}" -ne 0 ] && [ "$ended" -ge "$started" ] && [ "$ended" -le "$(now_ms)" ] ||
    fail "$how: ticks $started to $ended are not a run that just ended"
}

top_level_message() { xwininfo -root -children 2>/dev/null | grep -q '"LoadObject"'; }

# A window standing in for a daemon's: its process in parent, its id in parent_id. The X server
# may refuse a burst of new connections, so one that never shows is started again (three tries).
open_parent() {
  parent_id=""
  for _ in 1 2 3; do
    xlogo -name "cubrix-endings-$1" -geometry 565x317+10+10 >/dev/null 2>&1 &
    parent=$!
    helpers+=("$parent")
    for _ in $(seq 1 50); do
      parent_id=$(xwininfo -name "cubrix-endings-$1" 2>/dev/null | sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p')
      [ -n "$parent_id" ] && return 0
      kill -0 "$parent" 2>/dev/null || break
      sleep 0.1
    done
    kill "$parent" 2>/dev/null
  done
  return 1
}

# The saver's child inside the parent, and the message panel inside that, once both are there.
panel_shown() { xwininfo -tree -id "$parent_id" 2>/dev/null | grep -A 1 '"Preview"' | grep -q '1 child'; }

start_server

# Every termination signal ends a drawing saver cleanly, with its frames counted, and then by
# that signal (status 128 + its number). A background job of this script starts with SIGINT
# ignored, as the saver would leave it: the subshell gives it the default action first.
with_object
for signal in TERM INT HUP USR1; do
  rm -f "$times"
  (trap - INT; exec "$program" /s) >/dev/null 2>&1 &
  saver=$!
  sleep 1
  kill -"$signal" "$saver"
  ends "SIG$signal" "$saver" $((128 + $(kill -l "$signal")))
  frames_are "SIG$signal" some
done

# Under nohup (SIGHUP ignored) and as a background job (SIGINT ignored) those two stay ignored;
# SIGTERM still ends it.
rm -f "$times"
nohup "$program" /s >/dev/null 2>&1 &
saver=$!
sleep 1
kill -HUP "$saver"
kill -INT "$saver"
sleep 0.5
kill -0 "$saver" 2>/dev/null || fail "nohup: SIGHUP or SIGINT ended the saver"
kill -TERM "$saver"
ends "nohup, then SIGTERM" "$saver" 143
frames_are "nohup, then SIGTERM" some

# Full screen, the load-failure message is a box of its own; a signal ends it first, and the run
# starts only then: its ticks are taken after the signal, and it draws nothing.
without_object
rm -f "$times"
"$program" /s >/dev/null 2>&1 &
saver=$!
waits_for top_level_message || fail "full screen: the load-failure box never appeared"
signalled=$(now_ms)
kill -TERM "$saver"
ends "signal during the box" "$saver" 143
frames_are "signal during the box" none
[ "$(field Started)" -ge "$signalled" ] || fail "signal during the box: Started $(field Started) is before the signal ($signalled)"

# Inside another program's window the message is drawn within the saver's child, readable and
# centred, with no window of its own on the screen; the run goes on until the daemon ends it.
for ending in signal vanished; do
  rm -f "$times"
  open_parent "$ending" || { fail "$ending: the stand-in window never appeared"; continue; }
  started=$(now_ms)
  "$program" /p "$((parent_id))" >/dev/null 2>&1 &
  saver=$!
  waits_for panel_shown || fail "$ending: no message inside the saver's window"
  top_level_message && fail "$ending: the message opened a window of its own"
  if [ "$ending" = signal ]; then
    sleep 0.3  # let it draw
    import -window "$parent_id" "$work/shot.png" 2>/dev/null
    # The message box's face: wide, centred in the 565x317 window.
    box=$(convert "$work/shot.png" -fill black +opaque "#D4D0C8" -trim -format "%w %h %X %Y" info: 2>/dev/null)
    read -r width height left top <<<"$box"
    if [ -z "$box" ] || [ "${width:-0}" -lt 200 ] || [ $(( ${left#+} * 2 + width - 565 )) -gt 2 ] ||
       [ $(( ${left#+} * 2 + width - 565 )) -lt -2 ] || [ $(( ${top#+} * 2 + height - 317 )) -gt 20 ] ||
       [ $(( ${top#+} * 2 + height - 317 )) -lt -20 ]; then
      fail "signal: the message is not a centred box (face ${box:-missing})"
    fi
    captions=$(convert "$work/shot.png" -fill black +opaque "#000080" -fill white -opaque "#000080" \
               -format "%[fx:int(mean*w*h)]" info: 2>/dev/null)
    [ "${captions:-0}" -gt 1000 ] || fail "signal: no caption strip (${captions:-0} pixels)"
    kill -TERM "$saver"
  else
    kill "$parent"
  fi
  if [ "$ending" = signal ]; then ends "message inside, signal" "$saver" 143; else ends "message inside, vanished" "$saver" 0; fi
  frames_are "message inside, $ending" none
  [ "$(field Started)" -ge "$started" ] || fail "message inside, $ending: Started is before the program started"
  kill "$parent" 2>/dev/null
done

# A lost X server ends the run as SIGTERM would, with times.dat, and with status 1 and one line
# on stderr; so does a saver with the message up, in its own box or inside another program's window.
for run in drawing box message; do
  start_server
  rm -f "$times"
  if [ "$run" = drawing ]; then
    with_object
    "$program" /s >/dev/null 2>"$work/stderr" &
    saver=$!
    sleep 1
  elif [ "$run" = box ]; then
    without_object
    "$program" /s >/dev/null 2>"$work/stderr" &
    saver=$!
    waits_for top_level_message || fail "lost server: the load-failure box never appeared"
  else
    without_object
    open_parent lost || fail "lost server: the stand-in window never appeared"
    "$program" /p "$((parent_id))" >/dev/null 2>"$work/stderr" &
    saver=$!
    waits_for panel_shown || fail "lost server: no message inside the saver's window"
  fi
  kill "$server"
  wait "$server" 2>/dev/null
  ends "lost server, $run" "$saver" 1
  if [ "$run" = drawing ]; then frames_are "lost server, $run" some; else frames_are "lost server, $run" none; fi
  # Nothing else there either, such as a leak report of a sanitized build.
  [ "$(grep -c 'connection to the X server' "$work/stderr")" -eq 1 ] &&
    [ "$(grep -vc '^LoadObject: ' "$work/stderr")" -eq 1 ] ||
    fail "lost server, $run: stderr was '$(cat "$work/stderr")'"
done

# The real XSecureLock, where it is installed: Escape at its password prompt resets the saver with
# SIGUSR1, and the ended run's times.dat is there; unlocking is out of reach (PAM), so the lock is
# ended with SIGTERM, which ends the restarted saver too.
xsecurelock_resets() {
  start_server
  with_object
  rm -f "$times"
  XSECURELOCK_SAVER_RESET_ON_AUTH_CLOSE=1 XSECURELOCK_SAVER="$wrapper" CUBRIX_PROGRAM="$program" \
    xsecurelock >/dev/null 2>&1 &
  local lock=$!
  helpers+=("$lock")
  local first="" second=""
  waits_for eval 'first=$(pgrep -f "^$program /p" | head -n 1); [ -n "$first" ]' || { fail "xsecurelock: no saver"; return; }
  sleep 1
  xdotool key space
  sleep 1.5
  xdotool key Escape
  waits_for eval "! kill -0 $first 2>/dev/null" || fail "xsecurelock: the saver outlived its reset"
  frames_are "xsecurelock reset" some
  local ended
  ended=$(field Ended)
  waits_for eval 'second=$(pgrep -f "^$program /p" | head -n 1); [ -n "$second" ]' || fail "xsecurelock: no saver after the reset"
  sleep 1
  kill -TERM "$lock"
  [ -z "$second" ] || waits_for eval "! kill -0 $second 2>/dev/null" || fail "xsecurelock: the saver outlived the lock"
  frames_are "xsecurelock end" some
  [ "$(field Started)" -gt "${ended:-0}" ] || fail "xsecurelock: the restarted saver wrote no times.dat of its own"
}
wrapper="$(dirname "$program")/cubrix-daemon"  # the wrapper the build puts beside the program
if command -v xsecurelock >/dev/null && command -v xdotool >/dev/null && command -v pgrep >/dev/null; then
  xsecurelock_resets
else
  echo "no xsecurelock (or no xdotool): its reset check was skipped"
fi

[ "$failures" -eq 0 ] && echo "all ending checks passed"
exit "$failures"
