#!/bin/bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs them side by side.
#
#   scripts/fuzz.sh [-t SECONDS] [-j JOBS] [-w DIR] [TARGET...]
#
#   -t  seconds per target (default 60)
#   -j  targets running at once (default: the number of cores)
#   -w  work folder (default fuzz-work): corpus/<target>/ gathers the inputs
#       found (the seeds in tests/fuzz/corpus/ are read, never written),
#       crashes/<target>/ the inputs that failed, logs/<target>.log the output
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
jobs=$(nproc)
work=fuzz-work
while getopts "t:j:w:" opt; do
  case $opt in
    t) seconds=$OPTARG ;;
    j) jobs=$OPTARG ;;
    w) work=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
# Absolute paths: a target moves into its instrument root on its first input.
mkdir -p "$work"
work=$(realpath "$work")
seeds=$PWD/tests/fuzz/corpus
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

# One target for the time given; its status in logs/<target>.status.
run_one() {
  local name=$1
  mkdir -p "$work/corpus/$name" "$work/crashes/$name" "$work/logs"
  local log="$work/logs/$name.log"
  local rc=0
  # -close_fd_mask=1: the instrument's own printing is dropped, reports stay.
  "$bin/${name}_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=3072 \
    -close_fd_mask=1 -print_final_stats=1 -artifact_prefix="$work/crashes/$name/" \
    "$work/corpus/$name" "$seeds/$name" >"$log" 2>&1 || rc=$?
  # A report from a thread other than the fuzzer's still ends the run, but
  # look for one in any case.
  if grep -qE "ERROR: (Address|Leak|UndefinedBehavior)Sanitizer|runtime error:" "$log"; then
    [ $rc -ne 0 ] || rc=1
  fi
  echo $rc >"$work/logs/$name.status"
}
export -f run_one
export bin work seconds seeds
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
exit $failed
