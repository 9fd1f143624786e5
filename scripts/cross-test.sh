#!/bin/sh
# The board build on the PC: both programs cross-built for the board
# (32-bit ARMv7-A hard-float, SCOPE_BOARD=linux) with the device layer's own
# check run under qemu-user, then the simulated-board test suites whose
# faults 32 bits would expose, built for armhf and run under qemu-user with
# the same assertions as on the PC. Installs the cross compiler and qemu-user;
# the armhf libraries go into a sysroot (scripts/armhf-sysroot.sh), not onto
# the PC.
set -e
cd "$(dirname "$0")/.."
. scripts/apt-retry.sh
fail() {
  echo "cross-test: $*" >&2
  exit 1
}
PKGS="crossbuild-essential-armhf qemu-user"
missing=""
for p in $PKGS; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  # shellcheck disable=SC2086
  install_tools() { $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-remove $missing || { $SUDO apt-get update -qq; false; }; }
  apt_retry install_tools || fail "the cross compiler and qemu-user could not be installed:$missing"
fi
# The sysroot script's own messages say what went wrong; its last line is the folder.
OUT=$(./scripts/armhf-sysroot.sh build-armhf-sysroot) ||
  fail "the armhf sysroot could not be made (scripts/armhf-sysroot.sh, messages above); nothing was built"
SYSROOT=$(printf '%s\n' "$OUT" | tail -1)
[ -d "$SYSROOT/usr/lib/arm-linux-gnueabihf" ] || fail "no armhf sysroot at '$SYSROOT'"
export SCOPE_ARMHF_SYSROOT="$SYSROOT"
JOBS=$(nproc)
TOOLCHAIN="-DCMAKE_TOOLCHAIN_FILE=cmake/armhf-toolchain.cmake -DCMAKE_BUILD_TYPE=Release -DSCOPE_LAYER_CHECK=OFF -DSCOPE_WERROR=ON"

# The board's programs, with the device layer.
cmake -S . -B build-armhf $TOOLCHAIN -DSCOPE_BOARD=linux -DSCOPE_TESTS=ON
cmake --build build-armhf -j"$JOBS" --target scopeapp Bitstrap linux_layer_check
ls -l build-armhf/scopeapp build-armhf/loader/Bitstrap
(cd build-armhf && ctest --output-on-failure)

# The simulated-board suites that 32-bit layouts concern: the run-state
# record, the EEPROM store, the SCPI engine and its blocks, the VXI-11 XDR,
# the websocket framing, the USBTMC records, the web settings files, MD5.
SUITES="sys_run_info_test i2c_storage_test scpi_test scpi_thread_test wave_scpi_test vxi11_test
ws_server_test usbtmc_test web_settings_test md5_test"
cmake -S . -B build-armhf-sim $TOOLCHAIN -DSCOPE_BOARD=sim -DSCOPE_TESTS=ON
# shellcheck disable=SC2086
cmake --build build-armhf-sim -j"$JOBS" --target $SUITES
labels=$(echo $SUITES | tr ' ' '|')
(cd build-armhf-sim && ctest -j"$JOBS" -L "^($labels)\$" --output-on-failure --timeout 600)
