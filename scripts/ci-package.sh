#!/usr/bin/env bash
# Builds both Debian packages, installs them here with apt-get, checks the
# installed tool, its manual page, the demo's server and its own tool, the
# plain tool without any crate library, and the launcher's program folder;
# then purges both and checks that nothing of theirs is left outside home
# folders. Needs root (or sudo); the packages are purged even on a failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
as_root=()
if [ "$(id -u)" -ne 0 ]; then as_root=(sudo); fi
scratch=$(mktemp -d /tmp/ksv27-ci-package-XXXXXX)
server_pid=""
wants=""
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; fi
  "${as_root[@]}" dpkg --purge ksv27-vorn-demo ksv27-vorn >/dev/null 2>&1 || true
  if [ -n "$wants" ]; then "${as_root[@]}" rmdir "$wants" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
  echo "FAIL $*" >&2
  exit 1
}

"$root/scripts/package.sh" "$scratch/debs"
# A run that was cut short may have left them installed.
"${as_root[@]}" dpkg --purge ksv27-vorn-demo ksv27-vorn >/dev/null 2>&1
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
  "$scratch"/debs/ksv27-vorn_*.deb "$scratch"/debs/ksv27-vorn-demo_*.deb >/dev/null
dpkg -L ksv27-vorn ksv27-vorn-demo | grep -v '^/\.$' | sort -u >"$scratch/files"

ksv27-vorn-cli --help >/dev/null || fail "ksv27-vorn-cli --help"
for page in ksv27-vorn-cli ksv27-vorn ksv27-vorn-demo; do
  man -w "$page" >/dev/null || fail "no manual page $page"
done

# The demo's server on a free port, and the demo's tool beside the stand-ins.
demo=/usr/lib/ksv27-vorn-demo
"$demo/ksv-crate-server" --port 0 --parent $$ >"$scratch/server.out" &
server_pid=$!
for _ in $(seq 100); do
  port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$scratch/server.out")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || fail "the demo's crate server starts"
KSV_SIM_PORT=$port "$demo/ksv27-vorn-cli" list | grep -q KSV-C-0001 || fail "the demo's tool lists the demo crates"
# The plain tool has no stand-ins beside it: it must not reach the demo.
status=0
KSV_SIM_PORT=$port ksv27-vorn-cli list >/dev/null 2>"$scratch/plain.err" || status=$?
[ "$status" -eq 3 ] && [ -s "$scratch/plain.err" ] || fail "the plain tool exits 3 with its message (got $status)"
echo "the plain tool without crate libraries: $(head -1 "$scratch/plain.err")"
kill "$server_pid"
wait "$server_pid" 2>/dev/null || true
server_pid=""

# The launcher runs the program from a copy in the user's own folder, kept
# in step with the installed one, and leaves the settings file as it is.
home="$scratch/home"
folder="$home/.local/share/ksv27-vorn"
mkdir -p "$folder"
chmod 700 "$folder"
printf '[Settings]\r\nkept=\xe4\r\n' >"$folder/Ksv27_Vorn.ini"
cp "$folder/Ksv27_Vorn.ini" "$scratch/settings.before"
printf 'an older version' >"$folder/KSV27_Vorn_User"
HOME=$home QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$scratch timeout 5 env -u XDG_DATA_HOME ksv27-vorn \
  >/dev/null 2>&1 || true
cmp -s /usr/lib/ksv27-vorn/KSV27_Vorn_User "$folder/KSV27_Vorn_User" || fail "the launcher renews the program's copy"
cmp -s "$scratch/settings.before" "$folder/Ksv27_Vorn.ini" || fail "the settings file keeps its bytes"
chmod g+w "$folder"
HOME=$home env -u XDG_DATA_HOME ksv27-vorn 2>"$scratch/refused.err" && fail "a folder others may write is refused"
grep -q "writable by others" "$scratch/refused.err" || fail "a folder others may write is refused with its reason"

# An instance enabled by the administrator, with its options file.
"${as_root[@]}" cp /etc/ksv27-vorn/serve-example.conf /etc/ksv27-vorn/serve-ci.conf
if [ ! -d /etc/systemd/system/multi-user.target.wants ]; then
  wants=/etc/systemd/system/multi-user.target.wants
  "${as_root[@]}" mkdir -p "$wants"
fi
"${as_root[@]}" ln -sf /lib/systemd/system/ksv27-vorn-serve@.service \
  /etc/systemd/system/multi-user.target.wants/ksv27-vorn-serve@ci.service

"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq ksv27-vorn-demo ksv27-vorn >/dev/null
left=0
while IFS= read -r path; do
  [ -e "$path" ] || [ -L "$path" ] || continue
  # A folder that another package also owns stays.
  if [ -d "$path" ] && dpkg -S "$path" >/dev/null 2>&1; then continue; fi
  echo "left after the purge: $path" >&2
  left=1
done <"$scratch/files"
for path in /etc/ksv27-vorn /etc/systemd/system/multi-user.target.wants/ksv27-vorn-serve@ci.service; do
  if [ -e "$path" ] || [ -L "$path" ]; then
    echo "left after the purge: $path" >&2
    left=1
  fi
done
[ "$left" -eq 0 ] || fail "the purge leaves files"
echo "packages built, installed, checked and purged"
