#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: first a normal build, then a build with
# AddressSanitizer and UndefinedBehaviorSanitizer, then the worker-thread tests built with
# ThreadSanitizer (a data race fails), then runs each fuzz target for 10 s (skipped with a message
# where clang's fuzzer runtime is missing). --no-sanitize / --no-tsan / --no-fuzz leave a stage out.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
sanitize=1
tsan=1
fuzz=1
for arg in "$@"; do
  [ "$arg" = "--no-sanitize" ] && sanitize=0
  [ "$arg" = "--no-tsan" ] && tsan=0
  [ "$arg" = "--no-fuzz" ] && fuzz=0
done
export QT_QPA_PLATFORM=offscreen

bash "$root/scripts/install-deps.sh"

echo "== build and test (RelWithDebInfo) ($(date +%T))"
bash "$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
(cd "$root/build" && ctest --output-on-failure -j "$(nproc)")

if [ "$sanitize" = 1 ]; then
  echo "== build and test (AddressSanitizer + UndefinedBehaviorSanitizer) ($(date +%T))"
  bash "$root/scripts/build.sh" "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DMORVEX_SANITIZE=ON -DMORVEX_BENCH=OFF
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  (cd "$root/build-asan" && ctest --output-on-failure -j "$(nproc)")
fi

if [ "$tsan" = 1 ]; then
  echo "== worker-thread tests (ThreadSanitizer) ($(date +%T))"
  # only the libraries and the one test program those tests need
  bash "$root/scripts/build.sh" "$root/build-tsan" --target worker_thread_test -DCMAKE_BUILD_TYPE=Debug -DMORVEX_TSAN=ON -DMORVEX_BENCH=OFF
  (cd "$root/build-tsan" && ctest --output-on-failure -R worker_thread_test)
fi

if [ "$fuzz" = 1 ]; then
  echo "== fuzz targets (10 s each) ($(date +%T))"
  bash "$root/scripts/fuzz.sh" 10
fi
echo "== done ($(date +%T))"
