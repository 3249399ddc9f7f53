#!/usr/bin/env bash
# Sanitizer runs of Tarvo's tests:
#   1. the whole project built with AddressSanitizer and UndefinedBehavior-
#      Sanitizer (build-asan), every test run with ctest;
#   2. the plug-in and the conformance suite built with ThreadSanitizer
#      (build-tsan), the threading tests run (ctest -R Threading).
# Any sanitizer report stops the program that made it and fails the script
# (-fno-sanitize-recover=all, halt_on_error=1). Takes no arguments; exits
# non-zero on any failure.
#
#   tools/ci/sanitizers.sh          the two runs (ASAN_BUILD_DIR, TSAN_BUILD_DIR
#                                   and JOBS may be set; defaults build-asan,
#                                   build-tsan, 2)
#   tools/ci/sanitizers.sh deps     only installs the packages it needs
set -euo pipefail

cd "$(dirname "$0")/../.."
# shellcheck source=tools/ci/not-run
. tools/ci/not-run
asan_dir=${ASAN_BUILD_DIR:-build-asan}
tsan_dir=${TSAN_BUILD_DIR:-build-tsan}
jobs=${JOBS:-2}

# Packages, installed only when asked: GCC's sanitizer runtimes come with
# g++ on Debian 12 (libasan8, libubsan1, libtsan2).
deps() {
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y g++ cmake libgtest-dev
}

# The sanitizers want frame pointers for their stacks and must not let an
# error pass: every check aborts.
common_flags="-fno-omit-frame-pointer -fno-sanitize-recover=all -g"

asan_ubsan() {
  local flags="-fsanitize=address,undefined $common_flags"
  cmake -S . -B "$asan_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVO_STATIC_RUNTIME=OFF \
    -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DCMAKE_MODULE_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined"
  cmake --build "$asan_dir" -j "$jobs"
  local asan=halt_on_error=1:abort_on_error=1:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1
  export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
  ASAN_OPTIONS=$asan ctest --test-dir "$asan_dir" --output-on-failure -j "$jobs" -E ForeignPlugin
  # Third-party plug-ins that some tools' tests load leak what their static
  # initialisers allocate when they are unloaded; only those tests run with
  # that one suppression (full stacks, so the loader's frames are seen).
  local suppressions
  suppressions=$(mktemp)
  printf 'leak:_dl_init\n' > "$suppressions"
  ASAN_OPTIONS=$asan:fast_unwind_on_malloc=0 LSAN_OPTIONS=suppressions=$suppressions \
    ctest --test-dir "$asan_dir" --output-on-failure -j "$jobs" -R ForeignPlugin --no-tests=ignore
  rm -f "$suppressions"
}

# ThreadSanitizer keeps its shadow memory at fixed addresses, which a
# kernel randomising mmap over more than 28 bits (vm.mmap_rnd_bits) can hand
# out to something else: the program then aborts before main. Without
# address-space randomisation (setarch -R, for the tests and what they
# start) the layout is the one TSan expects.
tsan_runner() {
  if setarch "$(uname -m)" -R true 2>/dev/null; then
    echo "setarch $(uname -m) -R"
  fi
}

tsan_threading() {
  local runner rnd_bits
  runner=$(tsan_runner)
  rnd_bits=$(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo 0)
  if [ -z "$runner" ] && [ "$rnd_bits" -gt 28 ]; then
    not_run "ThreadSanitizer threading tests: vm.mmap_rnd_bits is $rnd_bits and setarch -R is refused here"
    return 0
  fi
  local flags="-fsanitize=thread $common_flags"
  cmake -S . -B "$tsan_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVO_STATIC_RUNTIME=OFF \
    -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" \
    -DCMAKE_MODULE_LINKER_FLAGS="-fsanitize=thread" \
    -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=thread"
  cmake --build "$tsan_dir" -j "$jobs" --target tarvo_plugin conformance_tests
  # shellcheck disable=SC2086
  TSAN_OPTIONS=halt_on_error=1:abort_on_error=1:second_deadlock_stack=1 \
    $runner ctest --test-dir "$tsan_dir" --output-on-failure -R Threading --no-tests=error
}

main() {
  echo "==== AddressSanitizer + UndefinedBehaviorSanitizer: every test"
  asan_ubsan
  echo "==== ThreadSanitizer: the threading tests"
  tsan_threading
}

case "${1:-}" in
  deps) deps ;;
  "") main ;;
  *) echo "usage: $0 [deps]" >&2; exit 2 ;;
esac
