#!/bin/bash
# The vendor's tools against nginx: scripts/publish.sh lays out a web root
# and signs its lists, then its --check fetches what the program would.
#
# vendor_tools.sh BIN_DIR SCENARIO
#   published     TERBO and kalmiro published and served as they are: the check passes
#   faults        one file removed, another served without a Content-Length:
#                 the check fails and names both
#   missing-file  a file missing from the files folder: publishing names it
#                 and leaves the web root as it was
#   https         served over TLS (through the test's CONNECT proxy, the
#                 test's authority trusted): each line names the certificate
#   https-expiring  the same with a certificate that ends in 7 days: a fault
set -u
bin=$1 scenario=$2
src=$(cd "$(dirname "$0")/../.." && pwd)
source "$(dirname "$0")/common.sh"

key=$bin/trust-test/private-key.pem
publish() { BUILD_DIR=$bin "$src/scripts/publish.sh" "$@"; }
"$bin/tools/vendor_server/make_demo_tree" "$work/tree" "$bin/tools/vendor_server/demo_setup" >/dev/null || exit 1

if [ "$scenario" = missing-file ]; then
  mkdir -p "$work/www/download/TERBO"
  echo "the old list" >"$work/www/download/TERBO/websetup.list"
  rm "$work/tree/TERBO/rastel.zip"
  publish "$key" "$work/tree/TERBO" "$work/www" TERBO >"$work/publish.out" 2>&1 && fail "publishing without rastel.zip succeeded"
  grep -q "TERBO: rastel.zip" "$work/publish.out" || fail "publishing did not name rastel.zip: $(cat "$work/publish.out")"
  [ "$(cat "$work/www/download/TERBO/websetup.list")" = "the old list" ] || fail "the published list was touched"
  left=$(find "$work/www" -mindepth 1 | grep -v "^$work/www/download\(/TERBO\(/websetup.list\)\?\)\?$")
  [ -z "$left" ] || fail "publishing left behind: $left"
  exit $((failures > 0))
fi

publish "$key" "$work/tree/TERBO" "$work/www" TERBO >/dev/null || exit 1
publish "$key" "$work/tree/KALMIRO" "$work/www" kalmiro >/dev/null || exit 1
# nginx gives every static file its length; SSI processing takes it away.
unlength=""
[ "$scenario" = faults ] && unlength="location = /download/TERBO/comm32.zip { ssi on; ssi_types *; }"
listen="listen 127.0.0.1:PORT;"
case $scenario in
  https*)
    source "$src/tests/tools/tls.sh"
    make_test_pki "$work/pki" || exit 1
    cert=www
    [ "$scenario" = https-expiring ] && cert=soon
    listen=$(tls_server PORT "$work/pki/$cert")
    ;;
esac
start_nginx "
  server {
    $listen
    root $work/www;
    $unlength
  }" || exit 1

check() { publish --check --key "$key" "http://127.0.0.1:$nginx_port" TERBO kalmiro >"$work/check.out" 2>&1; }
case $scenario in
  published)
    check || fail "the check of a good server failed: $(cat "$work/check.out")"
    for file in websetup.list comm32.zip setup.zip monitor.zip; do
      grep -q "$file" "$work/check.out" || fail "the check printed nothing for $file"
    done
    ;;
  faults)
    rm "$work/www/download/TERBO/ntdll.zip"
    check && fail "the check passed with a file missing and one without a length"
    grep "ntdll.zip" "$work/check.out" | grep -qi "404\|not found" || fail "the check did not name the missing ntdll.zip"
    grep "comm32.zip" "$work/check.out" | grep -qi "content-length" ||
      fail "the check did not name comm32.zip's missing Content-Length"
    [ "$(grep -c '^FAIL' "$work/check.out")" = 2 ] || fail "the check blamed a good file too"
    ;;
  https*)
    "$bin/tests/tools/connect_proxy" --upstream "127.0.0.1:$nginx_port" --port-file "$work/proxy-port" \
      >"$work/proxy.log" 2>&1 &
    pids+=($!)
    wait_for_file "$work/proxy-port" 10 || exit 1
    SSL_CERT_FILE=$work/pki/ca.pem https_proxy=http://127.0.0.1:$(cat "$work/proxy-port") \
      publish --check --key "$key" https://www.vendor.example TERBO >"$work/check.out" 2>&1
    status=$?
    lines=$(grep -c '^ok \|^FAIL ' "$work/check.out")
    ((lines == 11)) || fail "not a line for the list and each of TERBO's ten server files: $(cat "$work/check.out")"
    [ "$(grep -c 'certificate CN=www.vendor.example, until ' "$work/check.out")" = "$lines" ] ||
      fail "not every line names the certificate: $(cat "$work/check.out")"
    if [ "$scenario" = https ]; then
      ((status == 0)) || fail "the check of a good server over TLS failed: $(cat "$work/check.out")"
    else
      ((status != 0)) || fail "the check passed with a certificate that ends in 7 days"
      [ "$(grep -c "^FAIL.*certificate expires within 14 days" "$work/check.out")" = "$lines" ] ||
        fail "the check did not blame the certificate on every line: $(cat "$work/check.out")"
    fi
    [ "$(grep -vc '^CONNECT www.vendor.example:443 200$' "$work/proxy.log")" = 0 ] ||
      fail "a request other than over TLS: $(cat "$work/proxy.log")"
    ;;
  *) echo "unknown scenario $scenario" >&2; exit 2 ;;
esac
[ $failures -eq 0 ] || { cat "$work/check.out" >&2; exit 1; }
