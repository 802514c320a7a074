#!/usr/bin/env bash
# Makes the packages once more, from a clean build/package/ under umask 077, and compares them
# with those already in dist/ (made under the usual umask 022): the .deb, the zip and the setup
# must be the same bytes, so they depend neither on the builder's umask nor on the time of the
# build. Leaves the new build and packages in place (the same bytes when this passes).
# Usage: rebuild.sh
set -u
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
work=$(mktemp -d /tmp/cubrix-rebuild.XXXXXX)
source "$here/lib.sh"
trap 'rm -rf "$work"' EXIT

first=$work/first
mkdir -p "$first"
cp "$repo"/dist/cubrix_*.deb "$repo"/dist/Cubrix-*-setup.exe "$repo"/dist/Cubrix-*-windows.zip "$first"/ 2>/dev/null ||
  { fail "rebuild: dist/ lacks a package (run scripts/package)"; exit 0; }
rm -rf "$repo/build/package"
if ! (umask 077 && "$repo/scripts/package") >"$work/package.log" 2>&1; then
  tail -n 20 "$work/package.log"
  fail "rebuild: scripts/package failed under umask 077"
  exit 0
fi
for package in "$first"/*; do
  name=${package##*/}
  check "rebuilt under umask 077: $name is the same bytes" cmp "$package" "$repo/dist/$name"
done
