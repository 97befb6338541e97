#!/usr/bin/env bash
# Tries every feature offline: builds the tool pointed at the local stand-in for the search engine
# and the cloud drive, starts the stand-in, starts the tool, and stops the stand-in when the tool
# is closed. The stand-in logs every request it receives to build/demo/standin-requests.jsonl.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/demo"
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARNISK_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target tarnisk-standin
port=$(sed -n 's/^TARNISK_STANDIN_PORT:[A-Z]*=//p' "$build/CMakeCache.txt")

python3 "$root/tools/standin.py" --port "$port" --log "$build/standin-requests.jsonl" &
standin=$!
trap 'kill "$standin" 2>/dev/null || true; wait "$standin" 2>/dev/null || true' EXIT

ready=0
for _ in $(seq 100); do
  if ! kill -0 "$standin" 2>/dev/null; then break; fi
  if python3 -c "import socket,sys; sys.exit(socket.socket().connect_ex(('127.0.0.1', $port)))"; then
    ready=1
    break
  fi
  sleep 0.1
done
if ((ready == 0)); then
  echo "The stand-in did not start on 127.0.0.1:$port (is the port in use?)" >&2
  exit 1
fi

"$build/standin/tarnisk-standin"
