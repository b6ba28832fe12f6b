#!/usr/bin/env bash
# cmake --install lays out a complete program folder and the autostart entry.
#   install_layout_test.sh <build dir>
set -euo pipefail
build=$1
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
DESTDIR=$dest cmake --install "$build" >/dev/null
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
folder=$dest$prefix/lib/vornix
fail() { echo "FAIL: $*"; exit 1; }
for program in Vornix VornixUpdate VornixResetPkg vornix-publish; do
  [[ -x $folder/$program ]] || fail "$program is missing from $folder"
done
[[ $(readlink "$folder/bzip2") == "$(command -v bzip2)" ]] || fail "bzip2 link"
"$folder/gtar" --version | head -1 | grep -q "GNU tar" || fail "gtar is not GNU tar"
desktop=$dest/etc/xdg/autostart/vornix.desktop
grep -qx "Exec=$prefix/lib/vornix/Vornix" "$desktop" || fail "autostart Exec"
grep -qx "Path=$prefix/lib/vornix" "$desktop" || fail "autostart working folder"
echo "1 passed, 0 failed"
