#!/usr/bin/env bash
# The setup as a file, before it runs: each page's branding line is Cubrix's own, not the
# installer tool's, and the setup shows the Cubrix icon made for it from the saver's frame.
# Usage: setup-exe.sh SETUP_EXE VERSION ICON
set -u
setup=$1
version=$2
icon=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/cubrix-setup-exe.XXXXXX)
source "$here/lib.sh"
trap 'rm -rf "$work"' EXIT

# The setup's texts sit in its LZMA-packed header, behind the first header that follows the
# signature; unpacked, the header is its own length and then its data. UTF-16 in a Unicode setup.
header_has() {
  python3 - "$setup" "$1" <<'PY'
import lzma, struct, sys
data = open(sys.argv[1], "rb").read()
stream = data[data.index(b"\xef\xbe\xad\xdeNullsoftInst") + 24:]
props, dict_size = stream[0], struct.unpack("<I", stream[1:5])[0]
lzma1 = {"id": lzma.FILTER_LZMA1, "dict_size": dict_size, "lc": props % 9, "lp": props // 9 % 5, "pb": props // 45}
unpacked = lzma.LZMADecompressor(lzma.FORMAT_RAW, filters=[lzma1]).decompress(stream[5:], 1 << 20)
header = unpacked[4:4 + struct.unpack("<I", unpacked[:4])[0]]
sys.exit(sys.argv[2].encode("utf-16-le") not in header)
PY
}
check "setup: its branding line is Cubrix's own" eval 'header_has "Cubrix $version" && ! header_has "Nullsoft Install System"'
if command -v wrestool >/dev/null; then
  check "setup: it shows the Cubrix icon" eval 'wrestool -x -t14 "$setup" -o "$work/setup.ico" && same_icons "$icon" "$work/setup.ico"'
else
  skip "setup: its icon: wrestool (icoutils) not installed"
fi
