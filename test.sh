#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite: ./test.sh
# A second pass builds src/core and its tests (and src/ocr with the recognition
# run's teardown test) with AddressSanitizer and
# UndefinedBehaviorSanitizer (ULVO_SKIP_SANITIZERS=1 leaves it out).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
jobs="$(nproc)"
export QT_QPA_PLATFORM=offscreen

"$root/scripts/setup.sh" "$root/build"
cmake --build "$root/build" -j "$jobs"
ctest --test-dir "$root/build" --output-on-failure -j "$jobs"

if [ "${ULVO_SKIP_SANITIZERS:-0}" != 1 ]; then
  ULVO_BUILD_TYPE=Debug "$root/scripts/setup.sh" "$root/build-asan" -DULVO_SANITIZE=ON -DULVO_CORE_ONLY=ON
  cmake --build "$root/build-asan" -j "$jobs"
  ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$root/build-asan" --output-on-failure -j "$jobs"
fi
