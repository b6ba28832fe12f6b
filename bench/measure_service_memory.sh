#!/bin/bash
# Resident memory of the running service after one forced pass over 128 up-to-date installed
# packages against the reference server. Usage: measure_service_memory.sh [build folder]
# Everything runs on loopback, with a system root and program folder of its own. QPA=xcb
# measures on a real display (for example under xvfb-run); the default is offscreen.
set -eu
B=$(cd "${1:-build}" && pwd)
W=$(mktemp -d /tmp/vornix-measure-XXXXXX)
trap 'kill $SERVER $SVC 2>/dev/null || true; rm -rf "$W"' EXIT
mkdir -p "$W/root/windows" "$W/prog" "$W/repo" "$W/installs"
cp "$B/bin/Vornix" "$W/prog/"

# 128 packages (the service's own among them) whose setup and update builds are in place.
{
  printf '<WinApps>\r\n'
  for i in $(seq 0 127); do
    if [ "$i" = 0 ]; then n=vornet d=Vornix p=$W/prog k=Vornix
    else n=pkg$i d="Package $i" p=$W/installs k=pkg$i.exe; : > "$W/installs/$k"; fi
    mkdir -p "$W/repo/$n"
    printf 'SetupBuild=2.0.0.%s\nUpdateBuild=u%s\nUpdateFile=p.tbz\n' "$i" "$i" > "$W/repo/$n/package.txt"
    printf ' <Package>\r\n  <Name>%s</Name>\r\n  <Desc>%s</Desc>\r\n  <Build>2.0.0.%s</Build>\r\n' "$n" "$d" "$i"
    printf '  <Update>u%s</Update>\r\n  <Path>%s</Path>\r\n  <Key>%s</Key>\r\n </Package>\r\n' "$i" "$p" "$k"
  done
  printf '</WinApps>\r\n'
} > "$W/root/windows/WinApps.XML"

"$B/testing-bin/vornix-reference-server" --repository "$W/repo" --request-log "$W/requests.jsonl" \
  > "$W/server.out" &
SERVER=$!
for _ in $(seq 100); do grep -q listening "$W/server.out" && break; sleep 0.1; done
ADDR=$(sed -n 's/.*listening on //p' "$W/server.out")

K="$W/root/registry/HKEY_LOCAL_MACHINE/SOFTWARE/Arvel Systems/Vornix"
mkdir -p "$K"
printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Arvel Systems\\Vornix\\Settings]\n"DefaultServer"=dword:00000001\n"UrlOut"="%s"\n"ProgPath"="%s/prog/"\n' \
  "$ADDR" "$W" > "$K/Settings.reg"

cd "$W/prog"
VORNIX_SYSTEM_ROOT="$W/root" QT_QPA_PLATFORM="${QPA:-offscreen}" ./Vornix > "$W/service.out" 2>&1 &
SVC=$!
SOCKET="$W/root/run/windows/Vornix Update Service"
send() { python3 -c 'import socket,sys; s=socket.socket(socket.AF_UNIX); s.connect(sys.argv[1]); s.sendall(("WM_COMMAND %s\n" % sys.argv[2]).encode()); s.recv(64)' "$SOCKET" "$1"; }
for _ in $(seq 100); do [ -S "$SOCKET" ] && break; sleep 0.1; done
sleep 1
echo "idle before the pass:  $(grep VmRSS /proc/$SVC/status)"
send 1015  # Update Now
count() { if [ -f "$W/requests.jsonl" ]; then wc -l < "$W/requests.jsonl"; else echo 0; fi; }
for _ in $(seq 200); do [ "$(count)" -ge 257 ] && break; sleep 0.05; done
echo "requests of the pass:  $(count) (CONFIG and 2 x 128)"
sleep 1
echo "1 s after the pass:    $(grep VmRSS /proc/$SVC/status)"
sleep 7
echo "notices gone:          $(grep VmRSS /proc/$SVC/status)"
send 57602
CODE=0; wait $SVC || CODE=$?
echo "service ended with $CODE (1 after the silent shutdown)"
