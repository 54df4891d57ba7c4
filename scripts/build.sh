#!/usr/bin/env bash
# Configures and builds the project. Usage: scripts/build.sh BUILD_DIR [--target NAME] [cmake options...]
# (with --target only that target and what it needs are built)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-$root/build}"
shift || true
target=()
if [ "${1:-}" = "--target" ]; then
  target=(--target "$2")
  shift 2
fi
launcher=()
if command -v ccache >/dev/null 2>&1; then
  # compiler cache: rebuilds of unchanged files (other build folders, other clones) come from it
  export CCACHE_BASEDIR="$(dirname "$root")"
  # objects built with debug information are shared between build folders too (the working
  # folder is then left out of the hash; only the recorded compile folder of a hit may differ)
  export CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$dir" -G Ninja "${launcher[@]}" "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)" "${target[@]}"
