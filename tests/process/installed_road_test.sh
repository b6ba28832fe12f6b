#!/usr/bin/env bash
# The road of an update through each install against the reference server on loopback (the
# service downloads updates of itself and atlas, the utility hands over to its copy):
#   installed_road_test.sh user <build dir>     as a user of its own (an unused uid, so that
#     nothing else on the machine owns what it looks for): a service that cannot write its
#     program folder says so; scripts/install --user, the service started as the autostart
#     entry says, nothing written outside the user's folders; --uninstall
#   installed_road_test.sh machine <build dir>  the built .deb (its programs, no autostart
#     entry), its unit's ExecStart run as the unit runs it, its files untouched; purged
# Exits 77 (skipped) without root, or when vornix is installed on this machine already.
set -euo pipefail
mode=$1
build=$(cd "$2" && pwd)
src=$(cd "$(dirname "$0")/../.." && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }
skip() { echo "SKIP: $*"; exit 77; }
[[ $(id -u) == 0 ]] || skip "needs root, to become another user or to install the package"
[[ $mode != machine ]] || ! { dpkg-query -W vornix >/dev/null 2>&1 || [[ -e /var/lib/vornix ]]; } ||
  skip "vornix is installed on this machine"

scratch=$(mktemp -d)
chmod 755 "$scratch"
apps=$scratch/apps mark="#vornix-test: VornixUpdate 2.0.0.5"
root='' program='' installed=no server_pid='' last='' uid=''
# The sanitizers' settings reach the programs, with the suppressions where any user reads them.
san=()
for v in ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS; do [[ -z ${!v:-} ]] || san+=("$v=${!v}"); done
if [[ ${LSAN_OPTIONS:-} =~ suppressions=([^:]+) ]]; then
  cp "${BASH_REMATCH[1]}" "$scratch/lsan.supp"
  san+=("LSAN_OPTIONS=${LSAN_OPTIONS/${BASH_REMATCH[1]}/$scratch/lsan.supp}")
fi
running_from() { # pids of the programs whose file lies below $1
  local exe
  for exe in /proc/[0-9]*/exe; do [[ $(readlink "$exe" 2>/dev/null) != "$1"/* ]] || basename "${exe%/exe}"; done
}
cleanup() {
  local pids
  mapfile -t pids < <(running_from "$scratch"; [[ -z $program ]] || running_from "$program")
  kill -9 "${pids[@]}" $server_pid 2>/dev/null || true
  [[ $installed == no ]] || dpkg --purge vornix >/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
wait_for() { # seconds, command...
  local end=$((SECONDS + $1))
  until "${@:2}"; do ((SECONDS < end)) && sleep 0.2 || return 1; done
}
send() { VORNIX_SYSTEM_ROOT=$root "$build/testing-bin/vornix-send-command" "Vornix Update Service" "$@" >/dev/null 2>&1; }
answers() { send 0 2000; }
record() { tr -d '\r' <"$root/windows/WinApps.XML" | sed -n "/<Name>$1</,/<\/Package>/p"; }
updated() { # both updates recorded, and no utility runs any more
  record vornet | grep -qF "<Update>2.0.0.5<" && record atlas | grep -qF "<Update>2<" &&
    ! running_from "$program" | xargs -r -I{} readlink /proc/{}/exe | grep -q /VornixUpdate
}

# vornet: an update carrying a new VornixUpdate, told apart by its last line; atlas: an update
# with a command.
repo=$scratch/repository
mkdir -p "$repo/vornet/updates" "$repo/atlas/updates" "$apps/atlas"
printf '#!/bin/sh\n' >"$apps/atlas/atlas"
{ cat "$build/bin/VornixUpdate"; echo "$mark"; } >"$scratch/VornixUpdate"
chmod 755 "$apps/atlas/atlas" "$scratch/VornixUpdate"
echo "atlas 2" >"$scratch/notes.txt"
tar -cjf "$repo/vornet/updates/vornix-2.0.0.5.tar.bz2" -C "$scratch" VornixUpdate
tar -cjf "$repo/atlas/updates/atlas-2.tar.bz2" -C "$scratch" notes.txt
printf 'UpdateBuild=2.0.0.5\nUpdateFile=vornix-2.0.0.5.tar.bz2\n' >"$repo/vornet/package.txt"
printf 'UpdateBuild=2\nUpdateFile=atlas-2.tar.bz2\nUpdateCmd=cp notes.txt CHANGES.txt\n' >"$repo/atlas/package.txt"
"$build/testing-bin/vornix-reference-server" --repository "$repo" >"$scratch/server.out" 2>&1 &
server_pid=$! && disown
wait_for 10 grep -qs "listening on" "$scratch/server.out" || fail "no reference server"
server=$(sed -n 's/^listening on //p' "$scratch/server.out")

write_settings() { # the server on loopback, as the README's snippet writes them
  local key="$root/registry/HKEY_LOCAL_MACHINE/SOFTWARE/Arvel Systems/Vornix"
  mkdir -p "$key"
  printf '"UrlOut"="%s"\n"DefaultServer"=dword:00000001\n' "$server" >"$key/Settings.reg"
}
add_atlas() { # atlas, entered in the catalogue that the service made on a fresh system root
  local file=$root/windows/WinApps.XML catalogue atlas
  catalogue=$(cat "$file" && printf x) && catalogue=${catalogue%x}
  atlas=$' <Package>\r\n  <Name>atlas</Name>\r\n  <Desc>Atlas Maps</Desc>\r\n  <Build>1</Build>\r\n'
  atlas+=$'  <Update>1</Update>\r\n  <Path>'"$apps/atlas"$'</Path>\r\n  <Key>atlas</Key>\r\n </Package>\r\n'
  printf '%s' "${catalogue/<\/WinApps>/$atlas</WinApps>}" >"$file"
}

# Runs "command..." in folder $2 in the background as $1 (a setpriv and env prefix or env).
start_in() {
  local -n who=$1
  # shellcheck disable=SC2016 # expanded by that shell
  setsid "${who[@]}" sh -c 'cd "$1" && shift && exec "$@"' sh "${@:2}" >>"$scratch/service.out" 2>&1 &
  last=$! && disown
}

road() { # the service runs in $program as uid $1
  wait_for 30 answers || fail "the service did not come up: $(cat "$scratch/service.out")"
  record vornet | grep -qF "<Path>$program</Path>" || fail "the service did not register itself"
  add_atlas
  send 1015 || fail "no answer to Update Now"
  wait_for 120 updated || fail "not updated: $(record vornet; record atlas; cat "$program/VornixUpdate.log")"
  wait_for 30 answers || fail "the service was not started again"
  [[ $(tail -c $((${#mark} + 1)) "$program/VornixUpdate") == "$mark" ]] || fail "VornixUpdate was not replaced"
  [[ -x $program/VornixUpdate1 && $(grep -c "Vornix Update started" "$program/VornixUpdate.log") == 2 ]] ||
    fail "no hand-over to VornixUpdate1"
  [[ $(cat "$apps/atlas/CHANGES.txt") == "atlas 2" ]] || fail "atlas's command did not run"
  local pid
  pid=$(running_from "$program")
  [[ $(readlink "/proc/$pid/exe") == "$program/Vornix" && $(stat -c %u "/proc/$pid") == "$1" ]] ||
    fail "the service runs as $(stat -c %u "/proc/$pid") from $(readlink "/proc/$pid/exe")"
}

# What the test's user owns in the shared temporary folders. (Files of others may vanish while
# find walks: that is no failure.)
owned_by_user() { { find /tmp /var/tmp /dev/shm -xdev -uid "$uid" 2>/dev/null || true; } | sort -u; }

user_road() {
  # An unprivileged uid that no account and no file on the machine has.
  uid=$((50000 + RANDOM % 10000))
  while getent passwd "$uid" >/dev/null || [[ -n $(owned_by_user) ]]; do uid=$((uid + 1)); done
  local home="$scratch/home of the user"
  mkdir -p "$home" "$scratch/run" "$scratch/src/scripts" "$scratch/build"
  chmod 700 "$scratch/run"
  # What the user runs is copied where that user can reach it, wherever the build lies.
  cp "$src/scripts/install" "$scratch/src/scripts/"
  cp -rP "$build/bin" "$scratch/build/"
  local as=(setpriv --reuid="$uid" --regid="$uid" --clear-groups env -i "HOME=$home" PATH=/usr/bin:/bin
    "XDG_RUNTIME_DIR=$scratch/run" "${san[@]}")
  root=$home/.local/share/vornix program=$home/.local/lib/vornix
  chown -R "$uid:$uid" "$home" "$apps" "$scratch/run"
  # A fresh machine: the install makes the system root with the catalogue's folder, empty.
  "${as[@]}" "$scratch/src/scripts/install" --user --build "$scratch/build" >/dev/null || fail "install"
  [[ -d $root/windows && -z $(ls -A "$root/windows") ]] || fail "no catalogue folder: $(find "$root")"
  write_settings
  chown -R "$uid:$uid" "$root"

  start_in as "$scratch/build/bin" ./Vornix
  wait_for 30 grep -qsF "Vornix cannot write its program folder $scratch/build/bin/: Permission denied" \
    "$scratch/service.out" || fail "an unwritable program folder was not reported: $(cat "$scratch/service.out")"
  send 57602 || fail "the first service did not answer"
  wait_for 15 bash -c "! kill -0 $last 2>/dev/null" || fail "the first service did not end"

  local entry=$home/.config/autostart/vornix.desktop exec
  exec=$(sed -n 's/^Exec=//p' "$entry")
  eval "exec=($exec)" # the entry's quoting: a path with blanks in double quotes
  start_in as "$(sed -n 's/^Path=//p' "$entry")" "${exec[@]}"
  road "$uid"
  "${as[@]}" "$program/vornixctl" status | grep -q "^Service       runs as process" ||
    fail "vornixctl: $("${as[@]}" "$program/vornixctl" status 2>&1)"
  local stray
  stray=$(owned_by_user |
    grep -vF -e "$home" -e "$apps" -e "$scratch/run" || true)
  [[ -z $stray ]] || fail "written outside the user's folders: $stray"

  "${as[@]}" "$scratch/src/scripts/install" --user --uninstall >/dev/null || fail "uninstall"
  [[ ! -e $program && ! -e $entry && -f $root/windows/WinApps.XML ]] || fail "uninstall: $(find "$home")"
  ! answers || fail "the service runs on after the uninstall"
}

machine_road() {
  cpack --config "$build/CPackConfig.cmake" -B "$scratch/deb" >/dev/null || fail "cpack"
  installed=yes
  dpkg -i "$scratch"/deb/vornix_*.deb >/dev/null || fail "dpkg -i"
  local unit out
  unit=$(dpkg -L vornix | grep '/vornix\.service$')
  [[ $(dpkg -L vornix | grep -cE '/lib/vornix/(Vornix|VornixUpdate|VornixResetPkg|vornix-publish)$') == 4 ]] ||
    fail "programs missing: $(dpkg -L vornix)"
  ! dpkg -L vornix | grep -q autostart || fail "a log-in would start a second service"
  out=$(! command -v systemd-analyze >/dev/null || systemd-analyze verify "$unit" 2>&1) || true
  [[ -z $out ]] || fail "systemd-analyze verify: $out"
  key() { sed -n "s/^$1=//p" "$unit"; }
  root=/var/lib/$(key StateDirectory) program=/var/lib/$(key StateDirectory)/program
  write_settings  # on a fresh system root: its start makes the catalogue's folder
  # shellcheck disable=SC2046,SC2207 # the unit's environment and command are words
  local as=(env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
    $(key Environment) "${san[@]}")
  # shellcheck disable=SC2046
  start_in as "$(key WorkingDirectory)" $(key ExecStart)
  road 0
  [[ $(readlink -f /usr/bin/vornixctl) == /usr/lib/vornix/vornixctl ]] || fail "no vornixctl on PATH"
  out=$(env -i PATH=/usr/bin:/bin vornixctl status) && [[ $out == *"Service       runs as process"* ]] ||
    fail "vornixctl status: $out"
  out=$(dpkg --verify vornix 2>&1) || true
  [[ -z $out ]] || fail "the package's own files changed: $out"
  send 57602 || fail "the service did not answer"
  dpkg --purge vornix >/dev/null || fail "dpkg --purge"
  installed=no
  [[ ! -e $root && ! -e /usr/lib/vornix ]] || fail "the purge left files behind"
}

"${mode}_road"
echo "1 passed, 0 failed"
