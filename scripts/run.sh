#!/usr/bin/env bash
# Installs what the build needs, builds everything and starts what exists.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD_DIR" -j"$(nproc)"
# No window program is built yet: render a few synthetic sheets and recognise
# them, printing the figures of the recognition engine.
"$BUILD_DIR"/bench/recognition_bench --sheets 12 --max-workers 2
