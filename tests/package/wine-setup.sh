#!/usr/bin/env bash
# The Windows setup under real Wine, in a fresh prefix of its own: a silent install (/S) puts the
# saver into the system folder and the sample into the Windows directory, registers an
# uninstaller; the installed saver runs from there, animates and closes on a move; the
# uninstaller that Add/Remove Programs names, run with /S, removes what was installed. The entry
# shows the Cubrix icon and the size that is installed (the size "Space required" showed).
#   x86_64: a 64-bit prefix; the sample is removed when unchanged, kept when edited; /ACTIVE
#           makes Cubrix the active saver and the uninstall takes it back.
#   i686:   a 32-bit prefix; the user's own Cube.dat and chosen saver survive both steps.
# Usage: wine-setup.sh SETUP_EXE x86_64|i686 CUBE_DAT VERSION ICON
set -u
setup=$(readlink -f "$1")
arch=$2
cube=$3
version=$4
icon=$5
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
work=$(mktemp -d /tmp/cubrix-wine-setup-$arch.XXXXXX)
source "$here/lib.sh"
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k >/dev/null 2>&1
  stop_xvfb
  rm -rf "$work"
}
trap cleanup EXIT

if [ "$arch" = i686 ]; then export WINEARCH=win32; else export WINEARCH=win64; fi
windows_text "$cube" >"$work/sample"  # the sample as the setup ships it
"$repo/scripts/lib/wine-prefix" "$WINEPREFIX" >/dev/null 2>&1 || { fail "$arch: no fresh Wine prefix"; exit 0; }
start_xvfb 640x480 || { fail "$arch: Xvfb did not start"; exit 0; }
windows=$WINEPREFIX/drive_c/windows
desktop='HKCU\Control Panel\Desktop'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Cubrix'
# The prefix's own registry view: 64-bit in a 64-bit prefix.
reg() { wine reg "$@" /reg:$([ "$arch" = i686 ] && echo 32 || echo 64) 2>/dev/null; }
reg_value() { reg query "$1" /v "$2" | sed -n "s/^ *$2 *REG_[A-Z_]* *//p" | tr -d '\r'; }

install() {
  timeout -k 5 120 wine "$setup" /S "$@" >/dev/null 2>&1
  local status=$?
  wineserver -w
  return "$status"
}
# The uninstaller as Add/Remove Programs names it; it copies itself away and returns at once.
uninstall() {
  local command
  command=$(reg_value "$uninstall_key" UninstallString)
  [ -n "$command" ] || return 1
  command=${command//\"/}
  timeout -k 5 60 wine "$command" /S >/dev/null 2>&1
  sleep 2
  wineserver -w
  ! reg query "$uninstall_key" >/dev/null
}
saver_path='C:\windows\system32\Cubrix.scr'
saver_file=$windows/system32/Cubrix.scr

# runs_and_closes: the installed saver, started by its Windows path, animates and ends with 0
# on a mouse move, with frames in times.dat.
runs_and_closes() {
  local loader=wine
  [ "$arch" = x86_64 ] && loader=/usr/lib/wine/wine64
  rm -f "$windows/times.dat"
  xdotool mousemove 320 240
  # Started as the system starts it, from its own folder on drive C:, where \windows\times.dat lands.
  (cd "$windows/system32" && exec timeout -k 2 30 "$loader" "$saver_path" /s) >"$work/saver.log" 2>&1 &
  local pid=$!
  if ! wait_for 15 eval 'xdotool search --name "^Screen Saver$" >/dev/null 2>&1'; then
    echo "  no saver window"
    kill "$pid"
    return 1
  fi
  sleep 1
  if ! screen_animates; then
    echo "  no animation: $(tail -n 1 "$work/screens.log")"
    kill "$pid"
    return 1
  fi
  xdotool mousemove 400 300
  local status=0
  wait "$pid" || status=$?
  [ "$status" -eq 0 ] || { echo "  the saver ended with $status"; cat "$work/saver.log"; }
  [ "$status" -eq 0 ] && has_frames "$windows/times.dat"
}

is_64_bit_pe() { file -b "$1" | grep -q 'PE32+.*x86-64'; }
is_32_bit_pe() { file -b "$1" | grep -q 'PE32 .*Intel 80386'; }
program_folder=$WINEPREFIX/drive_c/Program\ Files/Cubrix
registered() {
  [ "$(reg_value "$uninstall_key" DisplayName)" = Cubrix ] &&
    [ "$(reg_value "$uninstall_key" DisplayVersion)" = "$version" ]
}
# sizes_in_kb FILE...: what the files take, each rounded up to whole KB.
sizes_in_kb() {
  local total=0 file
  for file in "$@"; do total=$((total + ($(stat -c %s "$file") + 1023) / 1024)); done
  echo "$total"
}
# registered_size FILE...: the entry's size is what those installed files take.
registered_size() {
  local registered installed
  registered=$(($(reg_value "$uninstall_key" EstimatedSize)))
  installed=$(sizes_in_kb "$@")
  [ "$registered" -eq "$installed" ] || echo "  EstimatedSize $registered KB, installed $installed KB"
  [ "$registered" -eq "$installed" ]
}
# Its icon is the uninstaller's, which shows the Cubrix icon.
registered_icon() {
  local shown
  shown=$(reg_value "$uninstall_key" DisplayIcon)
  [ "$shown" = 'C:\Program Files\Cubrix\uninstall.exe,0' ] || { echo "  DisplayIcon $shown"; return 1; }
  wrestool -x -t14 "$program_folder/uninstall.exe" -o "$work/uninstall.ico" && same_icons "$icon" "$work/uninstall.ico"
}

if [ "$arch" = x86_64 ]; then
  check "$arch: silent install with /ACTIVE" install /ACTIVE
  check "$arch: the 64-bit saver is in the real System32" is_64_bit_pe "$saver_file"
  check "$arch: no saver in SysWOW64" test ! -e "$windows/syswow64/Cubrix.scr"
  check "$arch: the sample is in the Windows directory" cmp -s "$work/sample" "$windows/Cube.dat"
  check "$arch: Add/Remove Programs lists Cubrix $version" registered
  check "$arch: Add/Remove Programs gives the size installed: saver, sample, licence, uninstaller" registered_size \
    "$saver_file" "$windows/Cube.dat" "$program_folder/LICENSE.txt" "$program_folder/uninstall.exe"
  if command -v wrestool >/dev/null; then
    check "$arch: Add/Remove Programs shows the Cubrix icon of the uninstaller" registered_icon
  else
    skip "$arch: the uninstaller's icon: wrestool (icoutils) not installed"
  fi
  check "$arch: /ACTIVE made Cubrix the active saver" \
    test "$(reg_value "$desktop" SCRNSAVE.EXE)" = 'C:\windows\system32\Cubrix.scr'
  check "$arch: the installed saver animates and closes on a move" runs_and_closes
  check "$arch: the uninstaller runs silently and unregisters" uninstall
  check "$arch: the saver, the sample and the program folder are gone" eval \
    '[ ! -e "$saver_file" ] && [ ! -e "$windows/Cube.dat" ] && [ ! -e "$program_folder" ]'
  check "$arch: no active saver is left naming the removed one" test -z "$(reg_value "$desktop" SCRNSAVE.EXE)"
  # Installed again, the sample edited: the uninstaller keeps the user's edit.
  install
  echo "1,1,1 0,0,0 1,0,0 0,1,0" >>"$windows/Cube.dat"
  cp "$windows/Cube.dat" "$work/edited"
  uninstall
  check "$arch: an edited sample stays after uninstall" cmp -s "$work/edited" "$windows/Cube.dat"
else
  printf '0,0,0 1,1,1 2,0,0\n' >"$windows/Cube.dat"
  cp "$windows/Cube.dat" "$work/own"
  reg add "$desktop" /v SCRNSAVE.EXE /d 'C:\windows\system32\other.scr' /f >/dev/null
  check "$arch: silent install" install
  check "$arch: the 32-bit saver is in System32" is_32_bit_pe "$saver_file"
  check "$arch: the user's own Cube.dat is kept on install" cmp -s "$work/own" "$windows/Cube.dat"
  check "$arch: Add/Remove Programs lists Cubrix $version" registered
  check "$arch: Add/Remove Programs gives the size installed, without the user's own sample" registered_size \
    "$saver_file" "$program_folder/LICENSE.txt" "$program_folder/uninstall.exe"
  check "$arch: a silent install leaves the chosen saver alone" \
    test "$(reg_value "$desktop" SCRNSAVE.EXE)" = 'C:\windows\system32\other.scr'
  cp "$work/sample" "$windows/Cube.dat"  # the saver needs an object it can show
  check "$arch: the installed saver animates and closes on a move" runs_and_closes
  cp "$work/own" "$windows/Cube.dat"
  check "$arch: the uninstaller runs silently and unregisters" uninstall
  check "$arch: the saver and the program folder are gone" eval \
    '[ ! -e "$saver_file" ] && [ ! -e "$program_folder" ]'
  check "$arch: the user's own Cube.dat is kept on uninstall" cmp -s "$work/own" "$windows/Cube.dat"
fi
