#!/bin/sh
# scripts/cross-test.sh and scripts/armhf-sysroot.sh against apt tools that
# fail as a mirror being synchronised does: the index update is retried, a
# failure that lasts stops the run at once with its own message, and nothing
# is built after it. Copies of the scripts run in a temporary tree with
# stand-ins for dpkg, apt-get, apt-cache, sudo and cmake first on PATH.
set -u
SRC=$(cd "$(dirname "$0")/../.." && pwd)
T=$(mktemp -d /tmp/cross-test-failures-XXXXXX)
trap 'rm -rf "$T"' EXIT
mkdir -p "$T/tree/scripts" "$T/bin" "$T/state"
cp "$SRC/scripts/cross-test.sh" "$SRC/scripts/armhf-sysroot.sh" "$SRC/scripts/apt-retry.sh" "$T/tree/scripts/"
S="$T/state"
stub() { printf '#!/bin/sh\n%s\n' "$2" > "$T/bin/$1"; chmod +x "$T/bin/$1"; }
stub dpkg 'case "$1" in --print-foreign-architectures) echo armhf ;; esac; exit 0'
stub dpkg-query 'echo "install ok installed"'
stub sudo 'exec "$@"'
stub cmake "touch $S/cmake-ran; exit 0"
# apt-get update fails $FAKE_UPDATE_FAILS times, then works; downloads always fail.
stub apt-get "case \"\$1\" in
  update) n=\$(cat $S/updates 2>/dev/null || echo 0); n=\$((n + 1)); echo \$n > $S/updates
          [ -n \"\${FAKE_PARTIAL:-}\" ] && touch $S/updated
          if [ \$n -le \${FAKE_UPDATE_FAILS:-0} ]; then
            echo 'E: Failed to fetch http://deb.example/dists/main/binary-armhf/Packages.xz  File has unexpected size (123 != 456). Mirror sync in progress?' >&2
            exit 100
          fi
          touch $S/updated ;;
  download) echo 'E: download failed' >&2; exit 100 ;;
esac"
stub apt-cache "case \"\$1\" in
  show) [ -e $S/updated ] ;;
  depends) for a; do case \"\$a\" in *:armhf) echo \"\$a\" ;; esac; done ;;
esac"
export PATH="$T/bin:$PATH" APT_WAIT_S=0 APT_TRIES=3
failed=0
check() {
  if eval "$2"; then echo "ok   $1"; else echo "FAIL $1"; failed=1; fi
}

# The index update fails twice, then works: retried; the downloads then fail
# on every try and the sysroot script says so.
FAKE_UPDATE_FAILS=2 sh "$T/tree/scripts/armhf-sysroot.sh" "$T/sysroot" > "$T/out" 2> "$T/err"
rc=$?
check "a failing sysroot script ends non-zero" '[ $rc -ne 0 ]'
check "the mirror's message is shown" 'grep -q "Mirror sync in progress" "$T/err"'
check "the index update is retried" 'grep -q "apt-get update -qq. failed (try 1 of 3)" "$T/err" && [ -e "$S/updated" ]'
check "the download failure is named" 'grep -q "armhf-sysroot: the armhf packages could not be downloaded" "$T/err"'

# The update keeps failing for one index while the others hold the armhf
# packages: the sysroot script goes on (and stops at the downloads here).
rm -f "$S/updates" "$S/updated"
FAKE_UPDATE_FAILS=99 FAKE_PARTIAL=1 sh "$T/tree/scripts/armhf-sysroot.sh" "$T/sysroot" > "$T/out" 2> "$T/err"
check "a partial index is used" 'grep -q "the armhf packages are known: going on" "$T/err" && grep -q "could not be downloaded" "$T/err"'

# The update keeps failing: cross-test stops at the sysroot, before any build.
rm -f "$S/updates" "$S/updated"
FAKE_UPDATE_FAILS=99 sh "$T/tree/scripts/cross-test.sh" > "$T/out" 2> "$T/err"
rc=$?
check "cross-test ends non-zero" '[ $rc -ne 0 ]'
check "the index failure is named" 'grep -q "armhf-sysroot: the package index could not be updated for armhf" "$T/err"'
check "cross-test says where it stopped" 'grep -q "cross-test: the armhf sysroot could not be made" "$T/err"'
check "nothing is built" '[ ! -e "$S/cmake-ran" ]'
[ "$failed" -eq 0 ] || { echo "--- stderr of the last run"; cat "$T/err"; }
exit "$failed"
