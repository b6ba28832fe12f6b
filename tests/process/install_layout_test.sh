#!/usr/bin/env bash
# cmake --install lays out a complete program folder and the machine's unit with its start
# script, and no autostart entry (a log-in starts nothing on a machine-wide install).
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
[[ -x $folder/vornix-machine-service ]] || fail "start script"
grep -qx "ExecStart=$prefix/lib/vornix/vornix-machine-service" \
  "$dest$prefix/lib/systemd/system/vornix.service" || fail "unit ExecStart"
[[ ! -e $dest/etc/xdg/autostart ]] || fail "a machine-wide autostart entry"
echo "1 passed, 0 failed"
