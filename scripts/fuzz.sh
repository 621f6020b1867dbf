#!/usr/bin/env bash
# Builds the libFuzzer targets (clang) in build-fuzz/ and runs them.
#
#   bash scripts/fuzz.sh --ci               what the test command runs: every target from
#                                           its committed seeds (fuzz/corpus/TARGET), a fixed
#                                           seed and a fixed number of runs, so the same
#                                           commit gives the same verdict on any machine
#   bash scripts/fuzz.sh [--seconds N] [TARGET ...]
#                                           runs each target (all by default) for N seconds
#                                           (600 by default; --minutes M and --hours H also
#                                           work), keeping what it finds in
#                                           build-fuzz/corpus-TARGET between runs, and prints
#                                           executions per second and coverage
#
# Crash files land in build-fuzz/artifacts/, never in the checkout.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-fuzz"
seeds="$root/fuzz/corpus"

mode=long
seconds=600
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --ci) mode=ci ;;
    --seconds) seconds="$2"; shift ;;
    --minutes) seconds=$(( $2 * 60 )); shift ;;
    --hours) seconds=$(( $2 * 3600 )); shift ;;
    -h|--help) sed -n '2,15p' "$0"; exit 0 ;;
    fuzz_*) targets+=("$1") ;;
    *) echo "fuzz.sh: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DQUINTERRA_GUI=OFF -DQUINTERRA_TESTS=OFF \
  -DQUINTERRA_BENCH=OFF -DQUINTERRA_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)"

if [ ${#targets[@]} -eq 0 ]; then
  for binary in "$build"/fuzz/fuzz_*; do [ -x "$binary" ] && targets+=("$(basename "$binary")"); done
fi
mkdir -p "$build/artifacts"
common=(-seed=1 -reload=0 -max_len=4096 -print_final_stats=1 -artifact_prefix=artifacts/)

# Each target's runs in CI, about 20 s apiece on a 2-core machine.
ci_runs() {
  case "$1" in
    fuzz_emulator_requests) echo 50000 ;;
    fuzz_publication | fuzz_key_change) echo 30000 ;;
    *) echo 150000 ;;
  esac
}

status=0
for target in "${targets[@]}"; do
  binary="$build/fuzz/$target"
  [ -x "$binary" ] || { echo "fuzz.sh: no target $target" >&2; exit 2; }
  echo "-- $target"
  if [ "$mode" = ci ]; then
    # A fresh corpus every time: what an earlier run found must not change
    # what this one explores.
    # The comparisons that libFuzzer learns from include addresses, so the
    # addresses must not move between runs: no address randomisation, the
    # same environment and the same (relative) arguments wherever the
    # checkout lies.
    corpus="ci-corpus-$target"
    rm -rf "${build:?}/$corpus"
    mkdir -p "$build/$corpus"
    (cd "$build" && env -i PATH=/usr/bin:/bin setarch "$(uname -m)" -R \
      "./fuzz/$target" "${common[@]}" -runs="$(ci_runs "$target")" "$corpus" "../fuzz/corpus/$target") \
      >"$build/$target.log" 2>&1 || status=1
  else
    corpus="$build/corpus-$target"
    mkdir -p "$corpus"
    (cd "$build" && "$binary" "${common[@]}" -max_total_time="$seconds" "$corpus" "$seeds/$target") \
      >"$build/$target.log" 2>&1 || status=1
  fi
  # The last status line (coverage, corpus, executions per second) and the
  # final statistics.
  grep -E '^#[0-9]+' "$build/$target.log" | tail -n 1 || true
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added)' \
    "$build/$target.log" || true
  if grep -qE 'ERROR: libFuzzer|SUMMARY: (libFuzzer|AddressSanitizer|UndefinedBehaviorSanitizer)|^==[0-9]+==ERROR' \
    "$build/$target.log"; then
    status=1
  fi
  if [ $status -ne 0 ]; then
    tail -n 40 "$build/$target.log"
    echo "fuzz.sh: $target failed; the input is in $build/artifacts/" >&2
    exit 1
  fi
done
echo "fuzz targets passed"
