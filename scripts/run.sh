#!/bin/sh
# Installs what is needed, builds scopeapp and starts it on the simulated board
# with a fresh instrument root (default ./root; override with SCOPE_ROOT).
set -e
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSCOPE_TESTS=OFF
cmake --build build -j"$(nproc)"
ROOT="${SCOPE_ROOT:-$PWD/root}"
rm -rf "$ROOT"
exec ./build/scopeapp --root "$ROOT"
