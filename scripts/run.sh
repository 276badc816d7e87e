#!/usr/bin/env bash
# Installs what is missing, builds Pelotune and starts it.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
. scripts/packages.sh
ensure_packages "${PELOTUNE_BUILD_PACKAGES[@]}"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELOTUNE_TESTS=OFF
cmake --build build/release -j "$(nproc)"
exec build/release/app/pelotune "$@"
