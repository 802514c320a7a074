#!/usr/bin/env bash
# The Windows zip: exactly the files the README names, each build of the right kind and carrying
# its version resource and no icon, the sample object as shipped, every text file in Windows line
# ends (which the saver's loader reads as it reads the sample), the README's title underlined.
# Usage: zip.sh ZIP CUBE_DAT VERSION CUBRIX_RENDER
set -u
zipfile=$(readlink -f "$1")
cube=$2
version=$3
render=$4
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/cubrix-zip.XXXXXX)
source "$here/lib.sh"
trap 'rm -rf "$work"' EXIT

listing=$(unzip -Z1 "$zipfile" | sort | tr '\n' ' ')
check "zip holds exactly Cube.dat LICENSE.txt README.txt x64/Cubrix.scr x86/Cubrix.scr" \
  test "$listing" = "Cube.dat LICENSE.txt README.txt x64/Cubrix.scr x86/Cubrix.scr "
(cd "$work" && unzip -q "$zipfile")
check "zip: x64/Cubrix.scr is a 64-bit Windows program" eval 'file -b "$work/x64/Cubrix.scr" | grep -q "PE32+.*x86-64"'
check "zip: x86/Cubrix.scr is a 32-bit Windows program" eval 'file -b "$work/x86/Cubrix.scr" | grep -q "PE32 .*Intel 80386"'
windows_text "$cube" >"$work/sample-crlf"
check "zip: Cube.dat is the sample, with CR LF line ends" cmp -s "$work/sample-crlf" "$work/Cube.dat"
# The saver's own loader, through cubrix-render: the same frames from the CR LF file as from the sample.
reads_the_same() {
  "$render" --frames 3 "$cube" "$work/lf.gif" >/dev/null && "$render" --frames 3 "$work/Cube.dat" "$work/crlf.gif" >/dev/null &&
    cmp -s "$work/lf.gif" "$work/crlf.gif"
}
check "zip: the saver reads the CR LF Cube.dat as it reads the sample" reads_the_same
for text in README.txt LICENSE.txt; do
  check "zip: $text has CR LF line ends" eval '! grep -qv $'"'"'\r$'"'"' "$work/$text"'
done
check "zip: README.txt names the version" grep -q "Cubrix $version" "$work/README.txt"
underlined() {
  local title underline
  title=$(sed -n '1s/\r$//p' "$work/README.txt")
  underline=$(sed -n '2s/\r$//p' "$work/README.txt")
  [[ $underline =~ ^=+$ ]] && [ ${#underline} -eq ${#title} ]
}
check "zip: README.txt's underline is as long as its title" underlined
# The version resource's strings, UTF-16 in the program: description Cubrix, this version.
has_version_resource() {
  python3 - "$1" "$version" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
# Keys and values are padded to 32-bit boundaries, so allow the padding word between them.
def has(key, value):
    return any(("%s\0%s%s\0" % (key, pad, value)).encode("utf-16-le") in data for pad in ("", "\0"))
sys.exit(not (has("FileDescription", "Cubrix") and has("ProductVersion", sys.argv[2])
              and has("FileVersion", sys.argv[2])))
PY
}
for build in x64 x86; do
  check "zip: $build/Cubrix.scr has the version resource (Cubrix, $version)" has_version_resource "$work/$build/Cubrix.scr"
  check "zip: $build/Cubrix.scr is stripped" eval '! x86_64-w64-mingw32-objdump -h "$work/$build/Cubrix.scr" | grep -q "\.debug_"'
  if command -v wrestool >/dev/null; then
    check "zip: $build/Cubrix.scr has no icon resource" eval '! wrestool -l "$work/$build/Cubrix.scr" | grep -q "type=\(group_\)\?icon"'
  fi
done
command -v wrestool >/dev/null || skip "zip: icon resources: wrestool (icoutils) not installed"
