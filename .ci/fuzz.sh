#!/usr/bin/env bash
# The fuzzing stage of CI: each libFuzzer target searches for
# FUZZ_SECONDS (60 unless set), starting from its committed seed corpus.
# Uses the AddressSanitizer build of .ci/sanitizers.sh when it is there.
# A crash or a broken property saves the input under <build>/fuzz-artifacts
# and fails the stage.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_ASAN:-build-asan}
seconds=${FUZZ_SECONDS:-60}
targets=(SettingsFile UrlText SitemapWriter PageHead)
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++-14 -DNUBIKA_SANITIZE=address -DNUBIKA_FUZZ=ON >/dev/null
cmake --build "$build" -j "${JOBS:-2}" --target "${targets[@]/#/fuzz_}"
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
mkdir -p "$build/fuzz-artifacts"
failed=()
for target in "${targets[@]}"; do
  corpus=$(mktemp -d)
  cp tests/fuzz/corpus/"$target"/* "$corpus"/
  echo "--- fuzz_$target for ${seconds} s"
  if ! "$build/bin/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$target-" "$corpus" 2>"$build/fuzz-$target.log"; then
    tail -n 40 "$build/fuzz-$target.log"
    failed+=("fuzz_$target")
  else
    grep -E '^stat::(number_of_executed_units|new_units_added)' "$build/fuzz-$target.log" || true
  fi
  rm -rf "$corpus"
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found faults in: ${failed[*]} (inputs in $build/fuzz-artifacts)"
  exit 1
fi
