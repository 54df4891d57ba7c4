#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ (clang, AddressSanitizer + UndefinedBehaviorSanitizer) in
# build-fuzz/ and runs each for SECONDS (default 60) on its corpus: the committed seeds of
# fuzz/corpus/<target>/, the sample files of ../shared/data when present, and what earlier runs
# found (build-fuzz/corpus/<target>/). Findings are written to build-fuzz/artifacts/.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_slice_file fuzz_mask_image fuzz_mask_tiff fuzz_file_names
  fuzz_nifti fuzz_jpeg2000 fuzz_dicom_seg fuzz_plan_json)
build="$root/build-fuzz"
shared="$root/../shared/data"

# Skip (successfully) where clang or its fuzzer runtime is missing.
probe_dir="$(mktemp -d)"
trap 'rm -rf "$probe_dir"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' >"$probe_dir/p.cpp"
if ! command -v clang++ >/dev/null 2>&1 ||
   ! clang++ -fsanitize=fuzzer,address,undefined "$probe_dir/p.cpp" -o "$probe_dir/p" >/dev/null 2>&1; then
  echo "fuzz: skipped: clang++ with the libFuzzer runtime is missing (Debian: clang libclang-rt-14-dev)"
  exit 0
fi

launcher=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR="$(dirname "$root")"
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DMORVEX_FUZZ=ON -DMORVEX_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"

seeds_of() {  # extra seed folders from the shared samples
  case "$1" in
    fuzz_slice_file) echo nema-wg04 malformed hostile multi-series ;;
    fuzz_mask_image) echo hostile ;;
    fuzz_nifti) echo hostile ;;
  esac
}
max_len_of() {
  case "$1" in
    fuzz_slice_file) echo 65536 ;;
    fuzz_mask_image) echo 16384 ;;
    fuzz_mask_tiff) echo 8192 ;;
    fuzz_nifti) echo 4096 ;;
    fuzz_jpeg2000) echo 4096 ;;
    fuzz_dicom_seg) echo 16384 ;;
    fuzz_plan_json) echo 4096 ;;
    *) echo 256 ;;
  esac
}

# Leaks inside a library that are not the project's (fuzz/lsan.supp), matched by name: the targets
# that meet them take full stacks through the library.
leak_options_of() {
  case "$1" in
    fuzz_plan_json) echo "fast_unwind_on_malloc=0" ;;
  esac
}
export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1"
export LSAN_OPTIONS="suppressions=$root/fuzz/lsan.supp"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
mkdir -p "$build/artifacts" "$build/logs"
failed=()
for t in "${targets[@]}"; do
  work="$build/corpus/$t"
  mkdir -p "$work"
  dirs=("$work" "$root/fuzz/corpus/$t")
  for d in $(seeds_of "$t"); do [ -d "$shared/$d" ] && dirs+=("$shared/$d"); done
  log="$build/logs/$t.log"
  echo "== $t for ${seconds}s"
  # Readers must refuse oversized claims: one allocation above 1 GB counts as a finding.
  if ASAN_OPTIONS="$ASAN_OPTIONS:$(leak_options_of "$t")" "$build/fuzz/$t" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=3072 -malloc_limit_mb=1024 \
       -max_len="$(max_len_of "$t")" -close_fd_mask=3 -print_final_stats=1 \
       -artifact_prefix="$build/artifacts/$t-" "${dirs[@]}" >"$log" 2>&1; then
    grep -E '^#[0-9]+.*(DONE|pulse)' "$log" | tail -1 || true
    grep -E 'stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" || true
  else
    echo "fuzz: $t FAILED; see $log and $build/artifacts/"
    grep -E 'ERROR|SUMMARY|==[0-9]+==' "$log" | head -20 || true
    failed+=("$t")
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: failures in ${failed[*]}"
  exit 1
fi
echo "fuzz: all targets ran clean"
