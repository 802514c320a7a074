# Shared helpers of the package tests: results as PASS/FAIL/SKIPPED lines, a private X server,
# screenshots, and the frames a run counted in times.dat.
# A script sources this after setting $work (its temporary folder).

pass() { echo "PASS: $*"; }
fail() { echo "FAIL: $*"; }
skip() { echo "SKIPPED: $*"; }
# check NAME COMMAND...: one result line for the command's status.
check() {
  local name=$1
  shift
  if "$@"; then pass "$name"; else fail "$name"; fi
}

xvfb_pid=""
# start_xvfb WxH: a private X server (-displayfd: no number collisions); sets DISPLAY.
start_xvfb() {
  local size=${1:-800x600}
  Xvfb -displayfd 7 -nolisten tcp -screen 0 "${size}x24" 7>"$work/display" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
  done
  [ -s "$work/display" ] || return 1
  export DISPLAY=":$(head -n 1 "$work/display")"
}
stop_xvfb() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null; xvfb_pid=""; }

# wait_for SECONDS COMMAND...: polls the command every 0.2 s until it succeeds.
wait_for() {
  local tries=$(($1 * 5))
  shift
  for _ in $(seq 1 "$tries"); do
    "$@" && return 0
    sleep 0.2
  done
  return 1
}

# frames TIMES_DAT: the frame count the run wrote, or nothing.
frames() { sed -n 's/^Total Frames *=\([0-9]*\).*/\1/p' "$1" 2>/dev/null; }
has_frames() { [ "$(frames "$1")" -gt 0 ] 2>/dev/null; }

# screen_animates: two screenshots half a second apart differ in many pixels, and the screen is
# not all black (the cubes are coloured; an unchanging or black screen means no saver).
screen_animates() {
  import -window root "$work/shot-a.png" 2>/dev/null || return 1
  sleep 0.5
  import -window root "$work/shot-b.png" 2>/dev/null || return 1
  local changed coloured
  changed=$(compare -metric AE "$work/shot-a.png" "$work/shot-b.png" null: 2>&1 | cut -d' ' -f1)
  coloured=$(convert "$work/shot-b.png" -fill white +opaque black -format '%[fx:int(mean*w*h)]' info:)
  echo "changed $changed pixels, $coloured not black" >>"$work/screens.log"
  [ "${changed%.*}" -gt 2000 ] 2>/dev/null && [ "$coloured" -gt 2000 ] 2>/dev/null
}

# windows_text FILE: the file with CR LF line ends, as the Windows packages ship text.
windows_text() { sed 's/$/\r/' "$1"; }
# same_icons A B: two icon files hold the same images (sizes and pixels).
same_icons() { [ "$(identify -format '%wx%h %# ' "$1")" = "$(identify -format '%wx%h %# ' "$2")" ]; }
