#!/bin/sh
# Makes a sysroot for the board's cross build: the armhf builds of the
# libraries the firmware links (and the test suite's), with everything they
# need at run time, unpacked from Debian's packages into a folder. Nothing is
# installed on the PC itself; dpkg only learns that armhf packages exist.
#   scripts/armhf-sysroot.sh [DIR]     (default: build-armhf-sysroot)
# Idempotent: packages already unpacked are kept.
set -e
cd "$(dirname "$0")/.."
DIR=$(realpath -m "${1:-build-armhf-sysroot}")
DEBS="$DIR.debs"
PKGS="libboost-json1.81-dev libturbojpeg0-dev libfftw3-dev liblzo2-dev libcjson-dev libsimpleini-dev
libtirpc-dev libfreetype-dev libpng-dev libopencv-videoio-dev libgtest-dev libgmock-dev
libstdc++-12-dev libc6-dev"
if ! dpkg --print-foreign-architectures | grep -qx armhf; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO dpkg --add-architecture armhf
  $SUDO apt-get update -qq
fi
mkdir -p "$DIR" "$DEBS"
# The packages and what they depend on, armhf builds only (no recommends).
LIST=$(for p in $PKGS; do echo "$p:armhf"; done)
apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
  --no-replaces --no-enhances $LIST 2>/dev/null | grep -E '^[a-z0-9].*:armhf$' | sort -u > "$DEBS/list"
cd "$DEBS"
missing=""
for p in $(cat list); do
  name=${p%:armhf}
  ls "${name}"_*_armhf.deb >/dev/null 2>&1 || ls "${name}"_*_all.deb >/dev/null 2>&1 || missing="$missing $p"
done
[ -z "$missing" ] || apt-get download -q $missing >/dev/null
for deb in *.deb; do
  stamp="$DIR/.unpacked/$deb"
  [ -e "$stamp" ] && continue
  dpkg-deb -x "$deb" "$DIR"
  mkdir -p "$DIR/.unpacked" && touch "$stamp"
done
# Absolute symbolic links of the packages point into the sysroot instead.
find "$DIR" -type l -lname '/*' | while read -r link; do
  ln -sfn "$DIR$(readlink "$link")" "$link"
done
echo "$DIR"
