#!/bin/bash
# scripts/demo.sh as a newcomer runs it, here from a build folder: a run that
# cannot succeed ends by itself, soon, saying why.
#
# demo_test.sh BIN_DIR SCENARIO
#   unknown-name  a name no product has: refused before anything is made, with the names there are
#   missing-file  a file missing on the server: the program's message and the server's 404
set -u
bin=$1 scenario=$2
src=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

out=$work/demo
case $scenario in
  unknown-name) name=Terbos missing="" ;;
  missing-file) name=Terbo missing=ntdll.zip ;;
  *) echo "unknown scenario $scenario" >&2; exit 2 ;;
esac
started=$SECONDS
env -u DISPLAY DEMO_BUILD_DIR="$bin" DEMO_OUT="$out" DEMO_MISSING="$missing" \
  "$src/scripts/demo.sh" "$name" en >"$work/demo.log" 2>&1 </dev/null
status=$?
took=$((SECONDS - started))
[ "$status" != 0 ] || fail "the demo succeeded"
((took <= 60)) || fail "the demo took $took s, more than a minute"

case $scenario in
  unknown-name)
    [ ! -e "$out" ] || fail "the demo made $out before refusing the name"
    while read -r code; do
      grep -qx "  $code" "$work/demo.log" || fail "the refusal does not name $code"
    done < <("$bin/tools/catalogue/catalogue")
    ;;
  missing-file)
    grep -qxF "     Terbo: error - $out/temp/Terbo/" "$work/demo.log" || fail "the program's message is not shown"
    grep -qx "     GET http://www.vendor.example/download/Terbo/ntdll.zip 404 [0-9]*" "$work/demo.log" ||
      fail "the failed request is not among the last the server saw"
    grep -q "^GET http://www.vendor.example/download/Terbo/comm32.zip 200 " "$out/server.log" ||
      fail "no request log in $out/server.log"
    shots=$(find "$out" -maxdepth 1 -name '*.png' | wc -l)
    ((shots >= 2 && shots <= 6)) || fail "$shots screenshots, not a few"
    ! pgrep -f "$out/bin/" >/dev/null || fail "the program was left running"
    ;;
esac

if ((failures > 0)); then
  echo "the demo printed:" >&2
  cat "$work/demo.log" >&2
  exit 1
fi
echo "ok"
