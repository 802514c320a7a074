#!/usr/bin/env bash
# The Debian package: its layout and control data, lintian, and the program it holds, unpacked
# into a temporary folder and run as a new user would (empty HOME): the sample animates, a
# user's own Cube.dat stays, the daemon wrapper finds the program beside it. XScreenSaver runs it
# too. With CI=true the package is also installed for real, run from there, and removed.
# Usage: deb.sh DEB CUBE_DAT
set -u
deb=$1
cube=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/cubrix-deb.XXXXXX)
source "$here/lib.sh"
saver=""
cleanup() {
  [ -n "$saver" ] && kill "$saver" 2>/dev/null
  stop_xvfb
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"

# ---- What the package holds ----
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/contents"
holds() { grep -qx "$1" "$work/contents"; }
for path in /usr/bin/cubrix /usr/libexec/xscreensaver/cubrix /usr/share/cubrix/drive_c/windows/Cube.dat \
  /usr/share/xscreensaver/config/cubrix.xml /usr/share/man/man6/cubrix.6.gz /usr/share/doc/cubrix/copyright \
  /usr/share/doc/cubrix/changelog.gz /usr/bin/cubrix-object-check /usr/bin/cubrix-render \
  /usr/share/man/man1/cubrix-object-check.1.gz /usr/share/man/man1/cubrix-render.1.gz \
  /usr/share/cubrix/objects/gem.dat /usr/share/doc/cubrix/README; do
  check "deb holds $path" holds "$path"
done
check "deb holds the user's README, not the developers' README.md" eval '! holds /usr/share/doc/cubrix/README.md'
depends=$(dpkg-deb -f "$deb" Depends)
depends_on() { grep -Eq "(^|, )$1( |,|$)" <<<"$depends"; }
check "deb depends on the libraries the program links (libc6, libx11-6, libxext6)" \
  eval 'depends_on libc6 && depends_on libx11-6 && depends_on libxext6'
# Modes are set by the build, not left to the builder's umask: directories 0755, files 0644 or
# 0755 (scripts/test builds the package under umask 077).
modes_standard() {
  dpkg-deb -c "$deb" | awk '$1 !~ /^(drwxr-xr-x|-rw-r--r--|-rwxr-xr-x|lrwxrwxrwx)$/ { print "  " $1, $6; bad = 1 }
    END { exit bad }'
}
check "deb: every directory is 0755, every file 0644 or 0755" modes_standard
# Lintian's warnings we accept, each with its reason. None is needed today; a tag added here must
# say why the package is right as it is.
lintian_allowed=()
if command -v lintian >/dev/null; then
  lintian "$deb" >"$work/lintian.log" 2>&1
  unexpected() {
    local tag
    grep -E '^[EW]:' "$work/lintian.log" | while read -r _ _ tag _; do
      [[ " ${lintian_allowed[*]} " == *" $tag "* ]] || echo "$tag"
    done
  }
  check "lintian reports no errors and no warnings beyond the accepted ones" test -z "$(unexpected)"
  grep -E '^[EW]:' "$work/lintian.log"
else
  skip "lintian: not installed"
fi
# The XML that XScreenSaver's settings read names the program the package installs for it.
xml_names_program() {
  dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ./usr/share/xscreensaver/config/cubrix.xml >"$work/cubrix.xml" &&
    python3 -c 'import sys, xml.etree.ElementTree as T; r = T.parse(sys.argv[1]).getroot()
sys.exit(not (r.get("name") == "cubrix" and r.get("_label") == "Cubrix" and r.find("_description").text.strip()))' \
      "$work/cubrix.xml"
}
check "the XScreenSaver config names cubrix, with a label and a description" xml_names_program

# ---- Unpacked anywhere, run as a new user ----
unpacked=$work/unpacked
dpkg -x "$deb" "$unpacked"
program=$unpacked/usr/bin/cubrix
check "the packaged program is stripped" eval 'file -b "$program" | grep -q ", stripped"'
# The authors' tools run from the unpacked tree too, on the gallery it ships.
gallery_checks() {
  local object
  for object in "$unpacked"/usr/share/cubrix/objects/*.dat; do
    "$unpacked/usr/bin/cubrix-object-check" "$object" >/dev/null 2>&1 || return 1
  done
  "$unpacked/usr/bin/cubrix-render" --frames 2 "$unpacked/usr/share/cubrix/objects/gem.dat" "$work/gem.gif" &&
    [ "$(head -c 6 "$work/gem.gif")" = GIF89a ]
}
check "unpacked: the gallery objects pass the checker and cubrix-render draws one" gallery_checks
home=$work/home
mkdir -p "$home"
times=$home/.local/share/cubrix/drive_c/windows/times.dat

# end_saver: SIGTERM, as a daemon ends it; true when it ended cleanly and then by that signal (143).
end_saver() {
  kill -TERM "$saver" 2>/dev/null
  local status=0
  wait_for 5 eval '! kill -0 "$saver" 2>/dev/null' || kill -KILL "$saver" 2>/dev/null
  wait "$saver" || status=$?
  saver=""
  [ "$status" -eq 143 ]
}

if start_xvfb 640x480; then
  env -i HOME="$home" PATH="$PATH" DISPLAY="$DISPLAY" "$program" /s >"$work/first-run.log" 2>&1 &
  saver=$!
  sleep 1.5
  check "unpacked, empty HOME: the sample animates full screen" screen_animates
  check "unpacked, empty HOME: SIGTERM ends it cleanly" end_saver
  check "unpacked, empty HOME: times.dat counts frames" has_frames "$times"
  check "unpacked, empty HOME: the drive got the sample Cube.dat" cmp -s "$cube" "${times%/*}/Cube.dat"
  check "unpacked, empty HOME: no message about a missing object" eval '! grep -q "not found" "$work/first-run.log"'
  stop_xvfb
else
  fail "Xvfb did not start"
fi

# A user's own Cube.dat stays as it is (a headless run: the saver draws in memory).
own=$work/own
mkdir -p "$own/windows"
printf '0,0,0 1,1,1 2,0,0\n' >"$own/windows/Cube.dat"
cp "$own/windows/Cube.dat" "$work/own-copy"
env -i HOME="$home" PATH="$PATH" CUBRIX_DRIVE="$own" "$program" /s >/dev/null 2>&1 &
saver=$!
sleep 1
end_saver
check "a user's own Cube.dat is kept" cmp -s "$work/own-copy" "$own/windows/Cube.dat"

# The daemon wrapper, called by name from the folder a daemon puts on its PATH, runs the program
# installed beside it; alone, without one, it says so instead of running itself.
wrapper_runs_program_beside_it() {
  rm -f "$times"
  env -i HOME="$home" PATH="$unpacked/usr/libexec/xscreensaver:/usr/bin:/bin" cubrix >/dev/null 2>&1 &
  saver=$!
  wait_for 5 eval '[ "$(readlink "/proc/$saver/exe")" = "$program" ]'
  local found=$?
  # Found may be the instant after exec, before the first 50 ms frame (or even before the
  # program handles SIGTERM): let it draw some first.
  sleep 1
  end_saver
  [ "$found" -eq 0 ] && has_frames "$times"
}
check "the daemon wrapper runs the program installed beside it" wrapper_runs_program_beside_it
# Nor does it take a cubrix from the PATH or from a development tree's build beside it.
wrapper_alone_refuses() {
  local lone=$work/lone/libexec/xscreensaver tools=$work/tools decoy
  mkdir -p "$lone" "$tools" "$work/lone/libexec/build/native/host"
  cp "$unpacked/usr/libexec/xscreensaver/cubrix" "$lone/"
  for tool in bash readlink dirname basename; do ln -s "$(command -v $tool)" "$tools/"; done
  for decoy in "$tools/cubrix" "$work/lone/libexec/build/native/host/cubrix"; do
    printf '#!/bin/sh\necho decoy\n' >"$decoy"
    chmod +x "$decoy"
  done
  timeout 5 env -i PATH="$lone:$tools" cubrix >"$work/lone.log" 2>&1
  [ $? -eq 1 ] && grep -q "^cubrix: no cubrix program found" "$work/lone.log"
}
check "the wrapper alone reports no program rather than running another" wrapper_alone_refuses
wrapper_version="$("$unpacked/usr/libexec/xscreensaver/cubrix" --version 2>&1)"
check "the wrapper answers --version under its installed name" eval '[[ $wrapper_version =~ ^cubrix\ [0-9.]+$ ]]'

"$here/xscreensaver.sh" "$unpacked/usr/libexec/xscreensaver/cubrix --root" | sed 's/xscreensaver:/xscreensaver, unpacked:/'

# ---- Installed for real (CI only: it changes the machine) ----
if [ "${CI:-}" != true ]; then
  skip "the .deb installed for real: only with CI=true"
  exit 0
fi
if dpkg-query -W -f='${Status}' cubrix 2>/dev/null | grep -q 'install ok installed'; then
  fail "cubrix is installed already: not touching it"
  exit 0
fi
export DEBIAN_FRONTEND=noninteractive
quietly() { "$@" >"$work/apt.log" 2>&1 || { tail -n 20 "$work/apt.log"; return 1; }; }
check "apt-get installs the .deb" quietly apt-get install -y -qq -o DPkg::Lock::Timeout=300 "$(readlink -f "$deb")"
dpkg -L cubrix >"$work/installed" 2>/dev/null
home=$work/installed-home
mkdir -p "$home"
chown nobody:nogroup "$home"
times=$home/.local/share/cubrix/drive_c/windows/times.dat
setpriv --reuid=nobody --regid=nogroup --clear-groups env -i HOME="$home" PATH=/usr/bin:/bin cubrix /s >/dev/null 2>&1 &
saver=$!
sleep 1
end_saver
check "installed, a new user: cubrix /s counts frames at once" has_frames "$times"
# man itself where it is installed; its file as man would find it otherwise.
if command -v man >/dev/null; then
  check "installed: man 6 cubrix opens the manual page" eval 'man -P cat 6 cubrix 2>/dev/null | grep -q "Cube.dat"'
else
  check "installed: the manual page is where man looks" eval 'zcat /usr/share/man/man6/cubrix.6.gz | grep -q "^.TH CUBRIX 6"'
fi
"$here/xscreensaver.sh" "cubrix --root" | sed 's/xscreensaver:/xscreensaver, installed:/'
check "apt-get removes the package" quietly apt-get purge -y -qq -o DPkg::Lock::Timeout=300 cubrix
left=$(while read -r path; do [ -f "$path" ] && echo "$path"; done <"$work/installed")
check "removal leaves none of the package's files" test -z "$left"
