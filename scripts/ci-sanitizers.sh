#!/usr/bin/env bash
# The sanitizer runs of CI, each in a build folder of its own:
#  - the whole suite under AddressSanitizer and UndefinedBehaviorSanitizer
#    (tests labelled "nosan" are timing figures and are left out);
#  - the threading tests (label "threads") under ThreadSanitizer.
# Any sanitizer report fails the test that caused it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export QT_QPA_PLATFORM=offscreen
what=${1:-all}

if [ "$what" = all ] || [ "$what" = asan ]; then
  asan="$root/build-asan"
  "$root/scripts/build.sh" "$asan" -DKSV_WERROR=ON -DKSV_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=Debug
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$asan" --output-on-failure -j 2 --timeout 900 -LE nosan
fi

if [ "$what" = all ] || [ "$what" = tsan ]; then
  tsan="$root/build-tsan"
  "$root/scripts/build.sh" "$tsan" -DKSV_WERROR=ON -DKSV_SANITIZE=thread
  TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/tests/tsan.supp" \
    ctest --test-dir "$tsan" --output-on-failure -j 2 --timeout 900 -L threads
fi
