#!/usr/bin/env bash
# Configures and builds the given CMake presets (default: linux mingw) in build/<preset>.
#   scripts/build.sh [preset...]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

jobs=${BK_JOBS:-$(nproc 2>/dev/null || echo 2)}
presets=("$@")
if [ ${#presets[@]} -eq 0 ]; then
    presets=(linux mingw)
fi

for preset in "${presets[@]}"; do
    echo "== Building the $preset build (build/$preset)"
    cmake --preset "$preset"
    cmake --build --preset "$preset" -j "$jobs"
done
