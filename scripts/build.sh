#!/usr/bin/env bash
# Configures and builds the project. Usage: scripts/build.sh BUILD_DIR [cmake options...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-$root/build}"
shift || true
launcher=()
if command -v ccache >/dev/null 2>&1; then
  # compiler cache: rebuilds of unchanged files (other build folders, other clones) come from it
  export CCACHE_BASEDIR="$(dirname "$root")"
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$dir" -G Ninja "${launcher[@]}" "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
