#!/bin/sh
# Installs what is needed, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs the whole test suite; then builds
# everything twice more without sanitizers, tests built, not run: the default
# RelWithDebInfo and Release, so an optimised build that alone breaks the
# compiler is caught too. Warnings are errors in all three (SCOPE_WERROR).
# The debug builds carry line tables only (-g1): sanitizer and gdb backtraces
# keep their files and lines, and the three trees take a third of the disk.
set -e
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
launcher=""
command -v ccache >/dev/null && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
generator=""
command -v ninja >/dev/null && generator="-G Ninja"
# One configuration: its folder, then its cmake options.
build() {
  dir=$1
  shift
  # A folder made by another generator is made afresh.
  if [ -f "$dir/CMakeCache.txt" ] && [ -n "$generator" ] && ! grep -q "^CMAKE_GENERATOR:INTERNAL=Ninja$" "$dir/CMakeCache.txt"; then
    rm -rf "$dir"
  fi
  # shellcheck disable=SC2086
  cmake -S . -B "$dir" $generator $launcher -DSCOPE_WERROR=ON -DSCOPE_TESTS=ON "$@"
  cmake --build "$dir" -j"$(nproc)"
}
lines_only="-O2 -g1 -DNDEBUG"
build build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=$lines_only" \
  "-DCMAKE_C_FLAGS_RELWITHDEBINFO=$lines_only" -DSCOPE_SANITIZE=ON
cd build-test
ctest -j"$(nproc)" --output-on-failure --timeout 600
cd ..
build build-plain -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=$lines_only" \
  "-DCMAKE_C_FLAGS_RELWITHDEBINFO=$lines_only"
build build-release -DCMAKE_BUILD_TYPE=Release
