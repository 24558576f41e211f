#!/usr/bin/env bash
# Builds both Debian packages twice (the second reusing the first's build
# folder) and compares their bytes, installs them here with apt-get, checks
# the installed tool, the manual pages against --help, the service unit's
# hardening, the demo's server and its own tool, the plain tool without any
# crate library, the installed program refusing to run from its folder, a
# stray settings file moved to /etc/ksv27-vorn on an upgrade, and the
# launcher's program folder (its checks, its seeding, a home mounted
# noexec); then purges both and checks that nothing of theirs is left
# outside home folders. Needs root (or sudo; the noexec check mounts a small
# tmpfs); the packages are purged even on a failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
as_root=()
if [ "$(id -u)" -ne 0 ]; then as_root=(sudo); fi
scratch=$(mktemp -d /tmp/ksv27-ci-package-XXXXXX)
server_pid=""
wants=""
mounted=""
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; fi
  if [ -n "$mounted" ]; then "${as_root[@]}" umount "$mounted" 2>/dev/null || true; fi
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
KSV_PACKAGE_CHECKS=0 "$root/scripts/package.sh" "$scratch/again" >/dev/null
for deb in "$scratch"/debs/*.deb; do
  cmp -s "$deb" "$scratch/again/$(basename "$deb")" || fail "a second build makes another $(basename "$deb")"
  echo "reproducible: $(basename "$deb") $(stat -c %s "$deb") bytes"
done
# A run that was cut short may have left them installed.
"${as_root[@]}" dpkg --purge ksv27-vorn-demo ksv27-vorn >/dev/null 2>&1
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
  "$scratch"/debs/ksv27-vorn_*.deb "$scratch"/debs/ksv27-vorn-demo_*.deb >/dev/null
dpkg -L ksv27-vorn ksv27-vorn-demo | grep -v '^/\.$' | sort -u >"$scratch/files"

ksv27-vorn-cli --help >/dev/null || fail "ksv27-vorn-cli --help"
"$root/scripts/check-cli-man.sh" /usr/bin/ksv27-vorn-cli "$(man -w ksv27-vorn-cli)" || fail "the tool's manual page"
for page in ksv27-vorn ksv27-vorn-demo; do
  man -l "$(man -w "$page")" 2>/dev/null | grep -qx SYNOPSIS || fail "the manual page $page has a SYNOPSIS"
done
systemd-analyze security --offline=yes --threshold=20 --no-pager /lib/systemd/system/ksv27-vorn-serve@.service \
  >"$scratch/security" 2>&1 || { cat "$scratch/security" >&2; fail "the service unit's exposure is at most 2.0"; }
tail -1 "$scratch/security"

# Run as root straight from the installed folder, the program refuses,
# naming its launcher, and leaves nothing there.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen /usr/lib/ksv27-vorn/KSV27_Vorn_User \
  2>"$scratch/direct.err" || status=$?
[ "$status" -ne 0 ] && grep -q "ksv27-vorn" "$scratch/direct.err" || fail "the installed program run directly refuses"
find /usr/lib/ksv27-vorn -mindepth 1 | sort >"$scratch/installed.now"
grep '^/usr/lib/ksv27-vorn/' "$scratch/files" | sort | cmp -s - "$scratch/installed.now" ||
  fail "running the installed program leaves files in /usr/lib/ksv27-vorn"
# A settings file an older version let root save there moves to the
# site-wide defaults on an upgrade, which then seed a new user's folder.
printf '[Settings]\r\nsite=1\r\n' >"$scratch/site.ini"
"${as_root[@]}" cp "$scratch/site.ini" /usr/lib/ksv27-vorn/Ksv27_Vorn.ini
"${as_root[@]}" dpkg -i "$scratch"/debs/ksv27-vorn_*.deb >/dev/null 2>&1
[ ! -e /usr/lib/ksv27-vorn/Ksv27_Vorn.ini ] && cmp -s "$scratch/site.ini" /etc/ksv27-vorn/Ksv27_Vorn.ini ||
  fail "an upgrade moves a stray settings file to /etc/ksv27-vorn"

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
# The launchers' runs here have no display: a refusal shows no dialog.
unset DISPLAY WAYLAND_DISPLAY
HOME=$home QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$scratch timeout 5 env -u XDG_DATA_HOME ksv27-vorn \
  >/dev/null 2>&1 || true
cmp -s /usr/lib/ksv27-vorn/KSV27_Vorn_User "$folder/KSV27_Vorn_User" || fail "the launcher renews the program's copy"
cmp -s "$scratch/settings.before" "$folder/Ksv27_Vorn.ini" || fail "the settings file keeps its bytes"
chmod g+w "$folder"
HOME=$home env -u XDG_DATA_HOME ksv27-vorn 2>"$scratch/refused.err" && fail "a folder others may write is refused"
grep -q "writable by others" "$scratch/refused.err" || fail "a folder others may write is refused with its reason"
chmod g-w "$folder"
chmod 666 "$folder/Ksv27_Vorn.ini"
HOME=$home env -u XDG_DATA_HOME ksv27-vorn 2>"$scratch/refused.err" && fail "a file others may write is refused"
grep -q "Ksv27_Vorn.ini is writable by others" "$scratch/refused.err" ||
  fail "a file others may write is refused with its reason"
# A new folder takes the site-wide defaults.
HOME=$scratch/fresh QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$scratch timeout 5 env -u XDG_DATA_HOME ksv27-vorn \
  >/dev/null 2>&1 || true
cmp -s "$scratch/site.ini" "$scratch/fresh/.local/share/ksv27-vorn/Ksv27_Vorn.ini" ||
  fail "a new folder is seeded from /etc/ksv27-vorn/Ksv27_Vorn.ini"
# A home mounted noexec: the launcher says so.
mkdir "$scratch/noexec"
"${as_root[@]}" mount -t tmpfs -o "noexec,size=16m,mode=0700,uid=$(id -u),gid=$(id -g)" ksv27-ci "$scratch/noexec"
mounted=$scratch/noexec
HOME=$scratch/noexec env -u XDG_DATA_HOME ksv27-vorn 2>"$scratch/noexec.err" && fail "a noexec home is refused"
grep -q "mounted noexec" "$scratch/noexec.err" || fail "a noexec home is refused naming noexec"
"${as_root[@]}" umount "$mounted"
mounted=""

# An instance enabled by the administrator, with its options file.
"${as_root[@]}" cp /etc/ksv27-vorn/serve-example.conf /etc/ksv27-vorn/serve-ci.conf
if [ ! -d /etc/systemd/system/multi-user.target.wants ]; then
  wants=/etc/systemd/system/multi-user.target.wants
  "${as_root[@]}" mkdir -p "$wants"
fi
"${as_root[@]}" ln -sf /lib/systemd/system/ksv27-vorn-serve@.service \
  /etc/systemd/system/multi-user.target.wants/ksv27-vorn-serve@ci.service
# What `systemctl edit` makes for it.
"${as_root[@]}" mkdir -p /etc/systemd/system/ksv27-vorn-serve@ci.service.d
printf '[Service]\nEnvironment=CI=1\n' | "${as_root[@]}" tee /etc/systemd/system/ksv27-vorn-serve@ci.service.d/override.conf >/dev/null

"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq ksv27-vorn-demo ksv27-vorn >/dev/null
left=0
while IFS= read -r path; do
  [ -e "$path" ] || [ -L "$path" ] || continue
  # A folder that another package also owns stays.
  if [ -d "$path" ] && dpkg -S "$path" >/dev/null 2>&1; then continue; fi
  echo "left after the purge: $path" >&2
  left=1
done <"$scratch/files"
for path in /etc/ksv27-vorn /etc/systemd/system/multi-user.target.wants/ksv27-vorn-serve@ci.service \
  /etc/systemd/system/ksv27-vorn-serve@ci.service.d /usr/lib/ksv27-vorn; do
  if [ -e "$path" ] || [ -L "$path" ]; then
    echo "left after the purge: $path" >&2
    left=1
  fi
done
[ "$left" -eq 0 ] || fail "the purge leaves files"
echo "packages built, installed, checked and purged"
