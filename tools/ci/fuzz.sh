#!/usr/bin/env bash
# Builds Tarvo's libFuzzer target (tests/fuzz) with clang-14, AddressSanitizer
# and UndefinedBehaviorSanitizer into build-fuzz, and runs it for a bounded
# time, starting from the committed seed corpus (tests/fuzz/corpus, which is
# only read; new inputs go to build-fuzz/corpus). Any finding (crash,
# sanitizer report, failed check, leak, timeout) fails the script and leaves
# the input that caused it in build-fuzz/artifacts/. Takes no arguments;
# exits non-zero on any failure.
#
#   tools/ci/fuzz.sh                      about two minutes
#   FUZZ_SECONDS=3600 tools/ci/fuzz.sh    a longer run (one hour)
#   tools/ci/fuzz.sh deps                 only installs the packages it needs
#
# To replay one input, with every host call printed:
#   TARVO_FUZZ_TRACE=1 build-fuzz/tests/fuzz/tarvo_fuzz build-fuzz/artifacts/crash-...
set -euo pipefail

cd "$(dirname "$0")/../.."
build_dir=${FUZZ_BUILD_DIR:-build-fuzz}
seconds=${FUZZ_SECONDS:-120}
jobs=${JOBS:-2}

# Packages, installed only when asked: clang 14 with its runtime libraries
# (libFuzzer and the sanitizers) and the LLVM tools (symbolizer).
deps() {
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y clang-14 libclang-rt-14-dev llvm-14 cmake libgtest-dev
}

build() {
  # Every object of the plug-in carries coverage and sanitizer
  # instrumentation; the fuzz target adds libFuzzer's main.
  cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++-14 \
    -DTARVO_BUILD_FUZZER=ON -DTARVO_BUILD_TOOLS=OFF \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g"
  cmake --build "$build_dir" -j "$jobs" --target tarvo_fuzz
}

run() {
  mkdir -p "$build_dir/corpus" "$build_dir/artifacts"
  local symbolizer
  symbolizer=$(command -v llvm-symbolizer-14 || command -v llvm-symbolizer || true)
  # libFuzzer reports every new input; the whole log stays in the build
  # directory and its end, with any finding and its stack, is shown.
  local log="$build_dir/fuzz.log" status=0
  echo "fuzzing for $seconds s (log: $log)"
  ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1${symbolizer:+:external_symbolizer_path=$symbolizer} \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$build_dir/tests/fuzz/tarvo_fuzz" \
      -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 -max_len=8192 \
      -print_final_stats=1 -artifact_prefix="$build_dir/artifacts/" \
      "$build_dir/corpus" tests/fuzz/corpus > "$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    tail -n 150 "$log"
    echo "fuzz: FINDING (exit $status); the input is in $build_dir/artifacts/;" \
         "replay it with TARVO_FUZZ_TRACE=1 $build_dir/tests/fuzz/tarvo_fuzz <file>"
    return "$status"
  fi
  grep -E '^(Done|stat::)' "$log"
  echo "fuzz: no finding"
}

main() {
  build
  run
}

case "${1:-}" in
  deps) deps ;;
  "") main ;;
  *) echo "usage: $0 [deps]" >&2; exit 2 ;;
esac
