#!/usr/bin/env bash
# Builds the monitor and runs its main job on the embedded default.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target tallyscope
./build/tallyscope -v
