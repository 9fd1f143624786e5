#!/bin/bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs them side by side.
#
#   scripts/fuzz.sh [-t SECONDS | -r RUNS [-s SEED]] [-j JOBS] [-w DIR] [TARGET...]
#
#   -t  a campaign: seconds per target (default 60); found inputs are kept
#       in DIR/corpus/<target>/ and used again by the next campaign
#   -r  a check that gives the same result on every machine (CI): each
#       target starts from the seeds and kept crash inputs only, replays all
#       of them, then runs RUNS mutated inputs from SEED (default 1); found
#       inputs go to DIR/runs/<target>/, emptied first
#   -j  targets running at once (default: the number of cores); one process
#       per target in either mode
#   -w  work folder (default fuzz-work): crashes/<target>/ the inputs that
#       failed, logs/<target>.log the output (the seeds in tests/fuzz/corpus/
#       and the inputs in tests/fuzz/regressions/ are read, never written)
#   TARGET  names as in tests/fuzz/targets/<target>_fuzz.cpp (default: all)
#
# The targets are built in build-fuzz/ ($SCOPE_FUZZ_BUILD sets another folder).
#
# Exits non-zero when any target crashed, leaked, hung or reported undefined
# behaviour. A crash input, once fixed, is kept in
# tests/fuzz/regressions/<target>/ so that the test suite replays it.
set -e
cd "$(dirname "$0")/.."
seconds=60
runs=""
seed=1
jobs=$(nproc)
work=fuzz-work
while getopts "t:r:s:j:w:" opt; do
  case $opt in
    t) seconds=$OPTARG ;;
    r) runs=$OPTARG ;;
    s) seed=$OPTARG ;;
    j) jobs=$OPTARG ;;
    w) work=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
for n in "$seconds" "$seed" ${runs:+"$runs"} "$jobs"; do
  case $n in
    '' | *[!0-9]*) echo "fuzz.sh: $n is not a whole number" >&2; exit 2 ;;
  esac
done
# Absolute paths: a target moves into its instrument root on its first input.
mkdir -p "$work"
work=$(realpath "$work")
seeds=$PWD/tests/fuzz/corpus
kept=$PWD/tests/fuzz/regressions
build=${SCOPE_FUZZ_BUILD:-build-fuzz}
bin=$(realpath -m "$build")/tests/fuzz

./scripts/install-deps.sh
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
launcher=""
command -v ccache >/dev/null && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSCOPE_FUZZ=ON -DSCOPE_WERROR=ON \
  -DSCOPE_TESTS=ON $launcher >/dev/null
cmake --build "$build" --target fuzzers -j"$(nproc)"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for src in tests/fuzz/targets/*_fuzz.cpp; do
    name=$(basename "$src" _fuzz.cpp)
    targets+=("$name")
  done
fi

# One target; its status in logs/<target>.status.
run_one() {
  local name=$1
  mkdir -p "$work/crashes/$name" "$work/logs"
  local log="$work/logs/$name.log"
  rm -f "$work/logs/$name.status"
  # New inputs go to the first folder only; the others are read.
  local found limits
  local inputs=("$seeds/$name")
  [ -d "$kept/$name" ] && inputs+=("$kept/$name")
  if [ -n "$runs" ]; then
    # The same inputs in the same order each time: nothing from an earlier
    # run. A limit that only a hang reaches, also on a loaded machine (an
    # input may wait out a command's 5 s time-out and the settle after it).
    found="$work/runs/$name"
    rm -rf "$found"
    limits=(-seed="$seed" -runs="$runs" -timeout=60)
  else
    found="$work/corpus/$name"
    limits=(-max_total_time="$seconds" -timeout=10)
  fi
  mkdir -p "$found"
  local rc=0
  # -close_fd_mask=1: the instrument's own printing is dropped, reports stay.
  "$bin/${name}_fuzzer" "${limits[@]}" -rss_limit_mb=3072 \
    -close_fd_mask=1 -print_final_stats=1 -artifact_prefix="$work/crashes/$name/" \
    "$found" "${inputs[@]}" >"$log" 2>&1 || rc=$?
  # A report from a thread other than the fuzzer's still ends the run, but
  # look for one in any case.
  if grep -qE "ERROR: (Address|Leak|UndefinedBehavior)Sanitizer|runtime error:" "$log"; then
    [ $rc -ne 0 ] || rc=1
  fi
  echo $rc >"$work/logs/$name.status"
}
export -f run_one
export bin work seconds runs seed seeds kept
start=$(date +%s)
printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one {}'

failed=0
for name in "${targets[@]}"; do
  rc=$(cat "$work/logs/$name.status" 2>/dev/null || echo 1)
  execs=$(grep -o "stat::number_of_executed_units: *[0-9]*" "$work/logs/$name.log" | grep -o "[0-9]*$" || true)
  if [ "$rc" = 0 ]; then
    echo "fuzz $name: ok (${execs:-?} runs)"
  else
    echo "fuzz $name: FAILED (exit $rc), see $work/logs/$name.log"
    ls "$work/crashes/$name" 2>/dev/null | sed "s|^|  $work/crashes/$name/|"
    failed=1
  fi
done
if [ -n "$runs" ]; then
  echo "fuzz: $runs runs per target from seed $seed, $(($(date +%s) - start)) s"
else
  echo "fuzz: $seconds s per target, $(($(date +%s) - start)) s"
fi
exit $failed
