#!/usr/bin/env bash
# Installs what is missing, builds, and starts the console.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
if [ ! -x build/bin/KELTA_Dispaly ]; then
  echo "The console window is not built yet; the build above compiled the libraries and tests."
  exit 0
fi
exec build/bin/KELTA_Dispaly "$@"
