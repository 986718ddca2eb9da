#!/usr/bin/env bash
# Configure refuses more tries or mirrors without the vendor's key, and says
# why; with a key they are taken.
#   resilience_configure_test.sh PUBLIC-KEY.pem
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
key=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
configure() { # expected-outcome settings...
  local expected=$1 out rc
  shift
  rm -rf "$work/build"
  out=$(cmake -S "$top" -B "$work/build" -G Ninja "$@" 2>&1)
  rc=$?
  case $expected in
    refused)
      if [ "$rc" = 0 ]; then
        echo "FAIL: configure took $*"
        status=1
      elif ! tr -s " \n" "  " <<<"$out" | grep -q "need WEBSETUP_TRUST_KEY: a resumed, kept or mirrored file is safe only"; then
        echo "FAIL: configure refused $* without saying why:"
        echo "$out" | tail -5
        status=1
      fi
      ;;
    taken)
      [ "$rc" = 0 ] || { echo "FAIL: configure refused $*:"; echo "$out" | tail -5; status=1; }
      ;;
  esac
}
configure refused -DWEBSETUP_RETRIES=3
configure refused -DWEBSETUP_MIRRORS=dl2.vendor.example
configure taken -DWEBSETUP_RETRIES=3 -DWEBSETUP_MIRRORS="dl2.vendor.example;dl3.vendor.example" \
  -DWEBSETUP_TRUST_KEY="$key"
[ "$status" = 0 ] && echo PASS
exit "$status"
