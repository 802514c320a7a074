#!/usr/bin/env bash
# The real XScreenSaver runs Cubrix as its one display program: a minimal ~/.xscreensaver names
# it, -activate shows the cubes, -deactivate ends the saver with times.dat written. XScreenSaver
# never runs display programs as root, so as root this runs it as the user nobody, with a HOME
# of its own in a temporary folder (nothing outside it changes).
# Usage: xscreensaver.sh 'COMMAND' (the programs: entry, e.g. 'cubrix --root')
set -u
command_line=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/cubrix-xscreensaver.XXXXXX)
source "$here/lib.sh"
daemon=""
cleanup() {
  [ -n "$daemon" ] && kill -- -"$daemon" 2>/dev/null
  stop_xvfb
  rm -rf "$work"
}
trap cleanup EXIT

if ! command -v xscreensaver >/dev/null; then
  skip "xscreensaver: not installed"
  exit 0
fi
chmod 755 "$work"
home=$work/home
mkdir -p "$home"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
  chown nobody:nogroup "$home"
fi
user_env() { "${as_user[@]}" env -i HOME="$home" PATH="$PATH" DISPLAY="$DISPLAY" "$@"; }

# The minimal file: one program, shown in mode "one"; no fades, so the test waits for nothing.
cat >"$home/.xscreensaver" <<CONFIG
mode: one
selected: 0
fade: False
unfade: False
programs: "Cubrix" $command_line \\n\\

CONFIG
[ "$(id -u)" -eq 0 ] && chown nobody:nogroup "$home/.xscreensaver"

start_xvfb 800x600 || { fail "xscreensaver: Xvfb did not start"; exit 0; }
cd "$home"
# In a session of its own, so that its whole group (daemon, graphics helper, saver) ends with it.
setsid "${as_user[@]}" env -i HOME="$home" PATH="$PATH" DISPLAY="$DISPLAY" xscreensaver -no-splash -verbose \
  >"$work/xscreensaver.log" 2>&1 &
daemon=$!
times=$home/.local/share/cubrix/drive_c/windows/times.dat

ready() { user_env xscreensaver-command -version >/dev/null 2>&1; }
forked() { grep -q 'forked ".*cubrix' "$work/xscreensaver.log"; }
if ! wait_for 15 ready; then
  fail "xscreensaver: the daemon did not answer"
  tail -n 20 "$work/xscreensaver.log"
  exit 0
fi
user_env xscreensaver-command -activate >/dev/null 2>&1
check "xscreensaver: -activate starts the Cubrix entry" wait_for 10 forked
sleep 1.5  # the saver's first frames
check "xscreensaver: the cubes animate on the screen" screen_animates
user_env xscreensaver-command -deactivate >/dev/null 2>&1
check "xscreensaver: -deactivate ends the saver with frames in times.dat" wait_for 10 has_frames "$times"
if grep -q 'not launching hacks\|running as root' "$work/xscreensaver.log"; then
  fail "xscreensaver: it refused to run the saver (running as root)"
fi
if ! has_frames "$times"; then
  tail -n 20 "$work/xscreensaver.log"
  cat "$work/screens.log" 2>/dev/null
fi
