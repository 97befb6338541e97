#!/usr/bin/env bash
# Installs what is missing, builds Tarnisk with its tests and runs the whole suite twice: in a
# Release build with warnings as errors, and in a build with AddressSanitizer and UBSan.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
jobs=$(nproc)

"$root/scripts/build.sh" "$root/build/test" -DCMAKE_BUILD_TYPE=Release -DTARNISK_WERROR=ON
ctest --test-dir "$root/build/test" --output-on-failure -j "$jobs"

"$root/scripts/build.sh" "$root/build/sanitize" -DCMAKE_BUILD_TYPE=Debug -DTARNISK_WERROR=ON -DTARNISK_SANITIZE=ON
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$root/build/sanitize" --output-on-failure -j "$jobs"
