#!/usr/bin/env bash
# The Windows zip: exactly the files the README names, each build of the right kind and carrying
# its version resource, the sample object as shipped, text in Windows line ends.
# Usage: zip.sh ZIP CUBE_DAT VERSION
set -u
zipfile=$(readlink -f "$1")
cube=$2
version=$3
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
check "zip: Cube.dat is the sample" cmp -s "$cube" "$work/Cube.dat"
check "zip: README.txt has CR LF line ends and names the version" \
  eval 'grep -q "Cubrix $version" "$work/README.txt" && ! grep -qv $'"'"'\r$'"'"' "$work/README.txt"'
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
done
