#!/usr/bin/env bash
# Installs what is missing, builds Tarnisk with its tests and runs the whole suite twice: in a
# Release build with warnings as errors, and in a build with AddressSanitizer and UBSan. A third
# build with clang makes the libFuzzer targets and gives each a short, fixed run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
jobs=$(nproc)

"$root/scripts/build.sh" "$root/build/test" -DCMAKE_BUILD_TYPE=Release -DTARNISK_WERROR=ON
ctest --test-dir "$root/build/test" --output-on-failure -j "$jobs"

"$root/scripts/build.sh" "$root/build/sanitize" -DCMAKE_BUILD_TYPE=Debug -DTARNISK_WERROR=ON -DTARNISK_SANITIZE=ON
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$root/build/sanitize" --output-on-failure -j "$jobs"

CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTARNISK_BUILD_FUZZ=ON -DTARNISK_BUILD_TESTS=OFF >/dev/null
cmake --build "$root/build/fuzz" --target tarnisk_fuzzers
ctest --test-dir "$root/build/fuzz" -L fuzz --output-on-failure -j "$jobs"
