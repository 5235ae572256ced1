#!/usr/bin/env bash
# Makes a Debian 12 machine ready for boardkit: installs the packages it lacks (apt-get, as
# root or through sudo), then builds the Linux build (build/linux) and the Windows build
# (build/mingw).
#   scripts/setup.sh            install and build
#   scripts/setup.sh --no-build install only
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

packages=(
    cmake g++ make python3
    googletest libgtest-dev nlohmann-json3-dev
    g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
    wine wine64 xvfb xauth imagemagick
    clang-format
    libbenchmark-dev hyperfine gnuplot-nox
    clang-14 libclang-rt-14-dev
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "== Installing: ${missing[*]}"
    sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update
    "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
else
    echo "== All packages present"
fi

if [ "${1:-}" != "--no-build" ]; then
    bash "$root/scripts/build.sh" linux mingw
fi
