#!/bin/sh
# Installs what is missing, builds scopeapp and starts it on the simulated
# board. The instrument root (default ./root; SCOPE_ROOT overrides) is kept
# from run to run, with its saved setups and USB-disk files; --fresh starts
# from a new one. The build folder is ./build (SCOPE_BUILD_DIR overrides).
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
# Ninja: a build in which nothing changed is checked in a moment. A build
# folder another generator made is configured again, once.
BUILD="${SCOPE_BUILD_DIR:-build}"
if [ "$(sed -n 's/^CMAKE_GENERATOR:INTERNAL=//p' "$BUILD/CMakeCache.txt" 2>/dev/null)" != Ninja ]; then
  rm -rf "$BUILD/CMakeCache.txt" "$BUILD/CMakeFiles"
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSCOPE_TESTS=OFF
fi
cmake --build "$BUILD" -j"$(nproc)"
ROOT="${SCOPE_ROOT:-$PWD/root}"
if [ "$fresh" = 1 ]; then rm -rf "$ROOT"; fi
exec "$BUILD/scopeapp" --root "$ROOT"
