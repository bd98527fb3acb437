#!/usr/bin/env bash
# One sanitizer stage of CI: builds the program and its tests once with
# clang and the sanitizer, then runs them. Any finding ends the program
# that made it and so fails its test and this stage.
#   asan: AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer
#         over the whole test suite; the same build carries the fuzz targets
#         that .ci/fuzz.sh runs.
#   tsan: ThreadSanitizer over the run's threads without Qt (tests labelled
#         "threads"): Debian's Qt is not instrumented, so its own locking
#         would be reported as races.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:?usage: sanitizers.sh asan|tsan}
jobs=${JOBS:-2}
compilers=(-DCMAKE_CXX_COMPILER=clang++-14)
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$PWD/.ci/lsan.supp:print_suppressions=0
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
export QT_QPA_PLATFORM=offscreen

case $mode in
  asan)
    build=${BUILD_ASAN:-build-asan}
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${compilers[@]}" \
      -DNUBIKA_SANITIZE=address -DNUBIKA_FUZZ=ON >/dev/null
    cmake --build "$build" -j "$jobs"
    (cd "$build" && ctest --output-on-failure -j "$jobs")
    ;;
  tsan)
    build=${BUILD_TSAN:-build-tsan}
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${compilers[@]}" \
      -DNUBIKA_SANITIZE=thread -DNUBIKA_BUILD_GUI=OFF >/dev/null
    cmake --build "$build" -j "$jobs" --target run_thread_tests
    (cd "$build" && ctest --output-on-failure -j "$jobs" -L threads)
    ;;
  *)
    echo "usage: sanitizers.sh asan|tsan" >&2
    exit 2
    ;;
esac
