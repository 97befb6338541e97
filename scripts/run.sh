#!/usr/bin/env bash
# Installs what is missing, builds Tarnisk in Release and starts it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build/release" -DCMAKE_BUILD_TYPE=Release -DTARNISK_BUILD_TESTS=OFF
exec "$root/build/release/bin/tarnisk"
