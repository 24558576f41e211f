#!/usr/bin/env bash
# The systemd unit of `serve` with a private MQTT credentials file handed over
# by LoadCredential= (as the README's drop-in does): systemd-analyze verify
# accepts unit and drop-in, and the unit's ExecStart line, run as systemd
# would run it with $CREDENTIALS_DIRECTORY, reads the relative file name from
# there (mode 600) and serves; without that folder the name is not found and
# the service stops with a usage error (exit 2).
# Usage: serve_unit_test.sh SOURCE_DIR BIN_DIR
set -euo pipefail
source_dir=$1
bin_dir=$2
scratch=$(mktemp -d)
serve_pid=""
cleanup() {
  if [ -n "$serve_pid" ]; then kill "$serve_pid" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

unit="$scratch/ksv27-vorn-serve@ci.service"
sed -e "s|@KSV_SYSCONFDIR@|$scratch|g; s|@KSV_BINDIR@|$bin_dir|g" \
  "$source_dir/cmake/install/ksv27-vorn-serve@.service.in" >"$unit"
echo 'KSV27_SERVE_OPTIONS=--port 0 --mqtt mqtt://127.0.0.1:1 --mqtt-credentials mqtt.txt' >"$scratch/serve-ci.conf"
mkdir "$unit.d" "$scratch/credentials"
printf '[Service]\nLoadCredential=mqtt.txt:%s/private.txt\n' "$scratch" >"$unit.d/credentials.conf"
systemd-analyze verify --man=no "$unit" || fail "systemd-analyze verify"

# What systemd runs: ExecStart with the options file's variable put in.
options=$(sed -n 's/^KSV27_SERVE_OPTIONS=//p' "$scratch/serve-ci.conf")
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
command_line=${exec_start//\$KSV27_SERVE_OPTIONS/$options}
printf 'bench\nsecret\n' >"$scratch/credentials/mqtt.txt"
chmod 600 "$scratch/credentials/mqtt.txt"

# shellcheck disable=SC2086 # split at spaces, as systemd splits $VAR
(cd / && exec env -u CREDENTIALS_DIRECTORY $command_line >"$scratch/plain.out" 2>"$scratch/plain.err") && status=0 || status=$?
[ "$status" = 2 ] || fail "without \$CREDENTIALS_DIRECTORY: exit $status, not 2"
grep -q "cannot read the credentials file mqtt.txt" "$scratch/plain.err" || fail "the missing file is named"

# shellcheck disable=SC2086
(cd / && CREDENTIALS_DIRECTORY="$scratch/credentials" exec $command_line >"$scratch/serve.out" 2>"$scratch/serve.err") &
serve_pid=$!
for _ in $(seq 200); do
  [ -s "$scratch/serve.out" ] && break
  kill -0 "$serve_pid" 2>/dev/null || break
  sleep 0.1
done
grep -qE '^[0-9]+$' "$scratch/serve.out" || fail "serve did not start: $(cat "$scratch/serve.err")"
kill -TERM "$serve_pid"
wait "$serve_pid" && status=0 || status=$?
serve_pid=""
[ "$status" = 0 ] || fail "SIGTERM: exit $status"
echo "ok: the unit verifies and reads its credentials from \$CREDENTIALS_DIRECTORY"
