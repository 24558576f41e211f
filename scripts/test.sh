#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${KSV_BUILD_DIR:-"$root/build"}
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$dir" -DKSV_WERROR=ON
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$dir" --output-on-failure -j 2 --timeout 600
