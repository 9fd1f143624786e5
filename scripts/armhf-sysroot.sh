#!/bin/sh
# Makes a sysroot for the board's cross build: the armhf builds of the
# libraries the firmware links (and the test suite's), with everything they
# need at run time, unpacked from Debian's packages into a folder. Nothing is
# installed on the PC itself; dpkg only learns that armhf packages exist.
#   scripts/armhf-sysroot.sh [DIR]     (default: build-armhf-sysroot)
# Idempotent: packages already unpacked are kept.
# Prints the sysroot's folder as its last line; any failure ends it with a
# message on standard error and a non-zero status.
set -e
cd "$(dirname "$0")/.."
. scripts/apt-retry.sh
fail() {
  echo "armhf-sysroot: $*" >&2
  exit 1
}
DIR=$(realpath -m "${1:-build-armhf-sysroot}")
DEBS="$DIR.debs"
PKGS="libboost-json1.81-dev libturbojpeg0-dev libfftw3-dev liblzo2-dev libcjson-dev libsimpleini-dev
libtirpc-dev libfreetype-dev libpng-dev libopencv-videoio-dev libgtest-dev libgmock-dev
libstdc++-12-dev libc6-dev"
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
if ! dpkg --print-foreign-architectures | grep -qx armhf; then
  $SUDO dpkg --add-architecture armhf || fail "dpkg cannot add the armhf architecture"
fi
# The armhf package index: updated when it lacks the packages (a first run,
# or an update that failed before), with retries. An update that keeps
# failing for one of the indexes (a security mirror mid-sync) still leaves
# the others: the run goes on when they hold the armhf packages.
known() { apt-cache show libc6-dev:armhf >/dev/null 2>&1; }
if ! known; then
  if ! apt_retry $SUDO apt-get update -qq; then
    known || fail "the package index could not be updated for armhf"
    echo "armhf-sysroot: the index update failed, but the armhf packages are known: going on" >&2
  fi
  known || fail "the package index holds no armhf packages after an update"
fi
mkdir -p "$DIR" "$DEBS"
# The packages and what they depend on, armhf builds only (no recommends).
LIST=$(for p in $PKGS; do echo "$p:armhf"; done)
apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
  --no-replaces --no-enhances $LIST 2>/dev/null | grep -E '^[a-z0-9].*:armhf$' | sort -u > "$DEBS/list"
for p in $PKGS; do
  grep -qx "$p:armhf" "$DEBS/list" || fail "$p:armhf is not in the package index"
done
cd "$DEBS"
missing=""
for p in $(cat list); do
  name=${p%:armhf}
  ls "${name}"_*_armhf.deb >/dev/null 2>&1 || ls "${name}"_*_all.deb >/dev/null 2>&1 || missing="$missing $p"
done
# A download that fails (a mirror mid-sync) is retried after a fresh index.
download() { apt-get download -q "$@" >/dev/null || { $SUDO apt-get update -qq; false; }; }
[ -z "$missing" ] || apt_retry download $missing || fail "the armhf packages could not be downloaded"
for deb in *.deb; do
  stamp="$DIR/.unpacked/$deb"
  [ -e "$stamp" ] && continue
  dpkg-deb -x "$deb" "$DIR" || fail "$deb cannot be unpacked"
  mkdir -p "$DIR/.unpacked" && touch "$stamp"
done
# Absolute symbolic links of the packages point into the sysroot instead.
find "$DIR" -type l -lname '/*' | while read -r link; do
  target=$(readlink "$link")
  case "$target" in "$DIR"/*) continue ;; esac
  ln -sfn "$DIR$target" "$link"
done
# BLAS and LAPACK are chosen by update-alternatives on an installed system:
# the sysroot takes the reference builds the packages ship.
for d in blas lapack; do
  for so in "$DIR/usr/lib/arm-linux-gnueabihf/$d"/lib*.so*; do
    [ -e "$so" ] && ln -sfn "$so" "$DIR/usr/lib/arm-linux-gnueabihf/$(basename "$so")"
  done
done
echo "$DIR"
