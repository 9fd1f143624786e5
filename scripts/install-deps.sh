#!/bin/sh
# Installs everything needed to build, run and test the firmware on a Debian 12 PC.
# Idempotent: packages already present are left as they are.
set -e
PKGS="build-essential cmake pkg-config git ninja-build
clang-14 libclang-rt-14-dev llvm-14
libgtest-dev libgmock-dev googletest libbenchmark-dev
libboost-json1.81-dev libsimpleini-dev libcjson-dev libturbojpeg0-dev libfftw3-dev
liblzo2-dev libopencv-videoio-dev ffmpeg libtirpc-dev
libfreetype-dev fonts-dejavu-core fonts-wqy-microhei libpng-dev
sigrok-cli python3 python3-websockets python3-pyvisa-py python3-usb python3-numpy python3-pandas python3-pil python3-lzo lxi-tools chromium"
# One dpkg-query for the whole list: a package it does not know, or knows but
# not as installed, is missing.
installed=" $(dpkg-query -W -f='${db:Status-Abbrev} ${binary:Package}\n' $PKGS 2>/dev/null |
  awk '$1 == "ii" { sub(/:.*/, "", $2); printf "%s ", $2 }') "
missing=""
for p in $PKGS; do
  case "$installed" in
    *" $p "*) ;;
    *) missing="$missing $p" ;;
  esac
done
if [ -n "$missing" ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends $missing
fi
