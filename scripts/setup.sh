#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the demo need.
# Idempotent: packages already installed are skipped; uses sudo when not root.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev libqt6opengl6-dev
  libgtest-dev libgmock-dev nlohmann-json3-dev
  clang libclang-rt-14-dev clang-format
  xvfb xauth x11-utils imagemagick xdotool
  dbus dbus-daemon dbus-x11 at-spi2-core python3 python3-pyatspi procps
  fonts-liberation
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix googletest wine wine64
  libasio-dev libcli11-dev libmosquitto-dev libssl-dev mosquitto mosquitto-clients openssl systemd
  python3-pyvisa python3-pyvisa-py qt6-translations-l10n
  libboost-dev chromium chromium-driver python3-selenium python3-websocket
  libtirpc-dev rpcsvc-proto rpcbind libavahi-client-dev avahi-daemon avahi-utils lxi-tools iproute2 util-linux
  dpkg-dev fakeroot lintian man-db ccache
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then as_root=(sudo); fi
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
