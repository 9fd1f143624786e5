# Sourced by the cross-build scripts: apt commands retried a few times, since
# a Debian mirror being synchronised fails an index update or a download for
# a few minutes ("File has unexpected size ... Mirror sync in progress?")
# and a passing change must not fail CI by that chance.
#   apt_retry CMD ARGS...     runs CMD until it succeeds, at most APT_TRIES times
APT_TRIES=${APT_TRIES:-5}
APT_WAIT_S=${APT_WAIT_S:-30}

apt_retry() {
  try=1
  while ! "$@"; do
    if [ "$try" -ge "$APT_TRIES" ]; then
      echo "$(basename "$0"): '$*' failed $try times; giving up" >&2
      return 1
    fi
    wait_s=$((APT_WAIT_S * try))
    echo "$(basename "$0"): '$*' failed (try $try of $APT_TRIES); again in $wait_s s" >&2
    sleep "$wait_s"
    try=$((try + 1))
  done
}
