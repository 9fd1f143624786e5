#!/bin/sh
# Installs what is missing, builds scopeapp and starts it on the simulated
# board. The instrument root (default ./root; SCOPE_ROOT overrides) is kept
# from run to run, with its saved setups and USB-disk files; --fresh starts
# from a new one.
set -e
cd "$(dirname "$0")/.."
fresh=0
for arg in "$@"; do
  case "$arg" in
    --fresh) fresh=1 ;;
    -h|--help) echo "usage: $0 [--fresh]"; exit 0 ;;
    *) echo "$0: unknown option $arg (usage: $0 [--fresh])" >&2; exit 2 ;;
  esac
done
./scripts/install-deps.sh   # apt-get runs only when a package is missing
[ -f build/CMakeCache.txt ] || cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSCOPE_TESTS=OFF
cmake --build build -j"$(nproc)"
ROOT="${SCOPE_ROOT:-$PWD/root}"
if [ "$fresh" = 1 ]; then rm -rf "$ROOT"; fi
exec ./build/scopeapp --root "$ROOT"
