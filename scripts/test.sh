#!/bin/sh
# Installs what is needed, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs the whole test suite; then builds
# everything once more without sanitizers (the default RelWithDebInfo, tests built, not run),
# so an optimised build that alone breaks the compiler is caught too.
set -e
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSCOPE_SANITIZE=ON -DSCOPE_TESTS=ON
cmake --build build-test -j"$(nproc)"
cd build-test
ctest -j"$(nproc)" --output-on-failure --timeout 600
cd ..
cmake -S . -B build-plain -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSCOPE_TESTS=ON
cmake --build build-plain -j"$(nproc)"
