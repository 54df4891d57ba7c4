#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: first a normal build, then a build with
# AddressSanitizer and UndefinedBehaviorSanitizer, then runs each fuzz target for 30 s (skipped with
# a message where clang's fuzzer runtime is missing). --no-sanitize / --no-fuzz leave a stage out.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
sanitize=1
fuzz=1
for arg in "$@"; do
  [ "$arg" = "--no-sanitize" ] && sanitize=0
  [ "$arg" = "--no-fuzz" ] && fuzz=0
done
export QT_QPA_PLATFORM=offscreen

bash "$root/scripts/install-deps.sh"

echo "== build and test (RelWithDebInfo)"
bash "$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
(cd "$root/build" && ctest --output-on-failure -j "$(nproc)")

if [ "$sanitize" = 1 ]; then
  echo "== build and test (AddressSanitizer + UndefinedBehaviorSanitizer)"
  bash "$root/scripts/build.sh" "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DMORVEX_SANITIZE=ON -DMORVEX_BENCH=OFF
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  (cd "$root/build-asan" && ctest --output-on-failure -j "$(nproc)")
fi

if [ "$fuzz" = 1 ]; then
  echo "== fuzz targets (30 s each)"
  bash "$root/scripts/fuzz.sh" 30
fi
