#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, and runs every test,
# then the Windows build's tests under Wine (KSV_WINDOWS_CHECKS=0 leaves them out).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${KSV_BUILD_DIR:-"$root/build"}
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$dir" -DKSV_WERROR=ON
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$dir" --output-on-failure -j 2 --timeout 600
if [ "${KSV_WINDOWS_CHECKS:-1}" != 0 ]; then
  "$root/scripts/ci-windows.sh" "$dir"
fi
