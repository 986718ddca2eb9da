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
#   odd-files     a link, a named pipe and a folder among the files: publishing
#                 names each and leaves the web root as it was
#   killed        publishing stopped by SIGTERM half-way: the web root as it
#                 was, nothing staged left beside it; after a SIGKILL the next
#                 publication clears what was left
#   serials       publishing again raises the serial; --resign on a copy holding
#                 the lists alone raises serial and expiry and keeps the entries
#                 byte for byte, and the server checks out with the new list;
#                 a list not signed by the key is not signed again
#   expiring      a list that expires within 14 days: the check fails and says so
#   long-expiry   a list valid for more than 366 days is refused, and says why,
#                 unless --long-expiry is given
#   swap          20 publications under a poller of the web root: the list
#                 is always there, and the folder last replaced is kept
#   endless       the list streamed without a length and without end, fast or
#                 slowly: the check ends within a minute and names the URL
#   https         served over TLS (through the test's CONNECT proxy, the
#                 test's authority trusted): each line names the certificate
#   https-expiring  the same with a certificate that ends in 7 days: a fault
set -u
bin=$1 scenario=$2
source "$(dirname "$0")/common.sh"

key=$bin/trust-test/private-key.pem
make_tree "$work/tree" || exit 1
field() { sed -n "s/^$1 //p" "$2"; } # field NAME LIST
# The web root as a listing of names, sizes and list texts, to compare before and after.
snapshot() { (cd "$work/www" && find . -printf '%p %s\n' | sort && cat download/*/websetup.list 2>/dev/null); }
untouched() { # what-happened
  [ "$(snapshot)" = "$before" ] || fail "$1 changed the web root"
  left=$(find "$work" -maxdepth 1 -name '.www.publish.*')
  [ -z "$left" ] || fail "$1 left its staging behind: $left"
}

case $scenario in
  missing-file | odd-files | killed | long-expiry)
    publish "$key" "$work/tree/TERBO" "$work/www" TERBO >/dev/null || exit 1
    before=$(snapshot)
    ;;
esac
case $scenario in
  long-expiry)
    # options | taken
    for row in "--valid-days 367|no" "--expires $(date -u -d '+2 years' +%Y-%m-%dT%H:%M:%SZ)|no" \
      "--valid-days 366|yes" "--valid-days 400 --long-expiry|yes"; do
      IFS='|' read -r options taken <<<"$row"
      # shellcheck disable=SC2086
      publish $options "$key" "$work/tree/TERBO" "$work/www" TERBO >"$work/publish.out" 2>&1
      status=$?
      if [ "$taken" = yes ]; then
        ((status == 0)) || fail "$options was refused: $(cat "$work/publish.out")"
        continue
      fi
      ((status == 2)) || fail "$options ended with $status, not 2"
      grep -q "first run" "$work/publish.out" || fail "$options: the refusal does not say why: $(cat "$work/publish.out")"
      untouched "publishing with $options"
    done
    exit $((failures > 0))
    ;;
  swap)
    publish "$key" "$work/tree/KALMIRO" "$work/www" kalmiro >/dev/null || exit 1
    listed=$work/www/download/kalmiro/websetup.list
    (checks=0 misses=0
      while [ ! -e "$work/stop" ]; do
        [ -f "$listed" ] || misses=$((misses + 1))
        checks=$((checks + 1))
      done
      echo "$checks $misses" >"$work/polled") &
    poller=$!
    for _ in $(seq 20); do publish "$key" "$work/tree/KALMIRO" "$work/www" kalmiro >/dev/null || fail "publishing failed"; done
    touch "$work/stop"
    wait "$poller"
    read -r checks misses <"$work/polled"
    ((misses == 0)) || fail "the list was missing $misses times in $checks looks during 20 publications"
    last=$(readlink "$work/www/download/kalmiro")
    [ "$last" = "kalmiro@$(field serial "$listed")" ] || fail "kalmiro links to $last, not its serial's folder"
    kept=$(cd "$work/www/download" && echo kalmiro@*)
    [ "$(wc -w <<<"$kept")" = 2 ] || fail "not the last folder and the one it replaced kept: $kept"
    exit $((failures > 0))
    ;;
  missing-file)
    rm "$work/tree/TERBO/rastel.zip"
    publish "$key" "$work/tree/TERBO" "$work/www" TERBO >"$work/publish.out" 2>&1 && fail "publishing without rastel.zip succeeded"
    grep -q "TERBO: rastel.zip" "$work/publish.out" || fail "publishing did not name rastel.zip: $(cat "$work/publish.out")"
    untouched "publishing without rastel.zip"
    exit $((failures > 0))
    ;;
  odd-files)
    ln -s "$work/tree/KALMIRO/setup.zip" "$work/tree/TERBO/extra.zip"
    mkfifo "$work/tree/TERBO/pipe"
    mkdir "$work/tree/TERBO/old"
    publish "$key" "$work/tree/TERBO" "$work/www" TERBO >"$work/publish.out" 2>&1 && fail "publishing a link, a pipe and a folder succeeded"
    for what in "extra.zip (a symbolic link)" "pipe (a named pipe)" "old (a folder)"; do
      grep -qF "$what" "$work/publish.out" || fail "publishing did not name $what: $(cat "$work/publish.out")"
    done
    untouched "publishing a link, a pipe and a folder"
    exit $((failures > 0))
    ;;
  killed)
    # An openssl that says when the list is being signed, with every file staged, and then takes its time.
    mkdir "$work/bin"
    printf '#!/bin/sh\ncase "$*" in *-sign*) echo signing >"%s"; sleep 2 ;; esac\nexec "%s" "$@"\n' \
      "$work/signing" "$(command -v openssl)" >"$work/bin/openssl"
    chmod +x "$work/bin/openssl"
    PATH=$work/bin:$PATH BUILD_DIR=$bin exec "$src/scripts/publish.sh" "$key" "$work/tree/TERBO" "$work/www" TERBO \
      >"$work/publish.out" 2>&1 &
    publisher=$!
    wait_for_file "$work/signing" 30 || fail "publishing never came to signing: $(cat "$work/publish.out")"
    kill -TERM "$publisher"
    status=0
    wait "$publisher" || status=$?
    [ "$status" = 143 ] || fail "publishing stopped by SIGTERM ended with $status, not 143: $(cat "$work/publish.out")"
    untouched "publishing stopped by SIGTERM"
    # SIGKILL cannot be caught: the next publication clears what is left.
    rm "$work/signing"
    PATH=$work/bin:$PATH BUILD_DIR=$bin exec setsid "$src/scripts/publish.sh" "$key" "$work/tree/TERBO" "$work/www" TERBO \
      >"$work/publish.out" 2>&1 &
    publisher=$!
    wait_for_file "$work/signing" 30 || fail "publishing never came to signing: $(cat "$work/publish.out")"
    kill -KILL -- -"$publisher"
    wait "$publisher"
    [ -n "$(find "$work" -maxdepth 1 -name '.www.publish.*')" ] || fail "SIGKILL left no staging: is it still staged there?"
    publish "$key" "$work/tree/TERBO" "$work/www" TERBO >"$work/publish.out" 2>&1 ||
      fail "publishing after a killed one failed: $(cat "$work/publish.out")"
    left=$(find "$work" -maxdepth 1 -name '.www.publish.*')
    [ -z "$left" ] || fail "the staging of a killed publication is still there: $left"
    exit $((failures > 0))
    ;;
esac

if [ "$scenario" = expiring ]; then
  publish --expires "$(date -u -d '+10 days' +%Y-%m-%dT%H:%M:%SZ)" "$key" "$work/tree/TERBO" "$work/www" TERBO \
    >/dev/null 2>&1 || exit 1
else
  publish "$key" "$work/tree/TERBO" "$work/www" TERBO >/dev/null || exit 1
fi
publish "$key" "$work/tree/KALMIRO" "$work/www" kalmiro >/dev/null || exit 1
# nginx gives every static file its length; SSI processing takes it away.
unlength=""
[ "$scenario" = faults ] && unlength="location = /download/TERBO/comm32.zip { ssi on; ssi_types *; }"
if [[ $scenario == endless* ]]; then
  # A list of a terabyte of zeros (sparse), without a length: no end in sight.
  truncate -s 1T "$work/www/download/TERBO/websetup.list"
  slow=""
  [ "$scenario" = endless-slow ] && slow="limit_rate 2k;" # 64 KiB would take 32 s
  unlength="location = /download/TERBO/websetup.list { ssi on; ssi_types *; $slow }"
fi
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
list=$work/www/download/TERBO/websetup.list
case $scenario in
  published)
    check || fail "the check of a good server failed: $(cat "$work/check.out")"
    for file in websetup.list comm32.zip setup.zip monitor.zip; do
      grep -q "$file" "$work/check.out" || fail "the check printed nothing for $file"
    done
    grep "TERBO/websetup.list" "$work/check.out" |
      grep -qF "serial $(field serial "$list"), expires $(field expires "$list")" ||
      fail "the check did not print the list's serial and expiry"
    ;;
  serials)
    cp "$list" "$work/first.list"
    publish "$key" "$work/tree/TERBO" "$work/www" TERBO terbo >/dev/null || fail "publishing again failed"
    [ "$(field serial "$list")" -gt "$(field serial "$work/first.list")" ] ||
      fail "publishing again did not raise the serial: $(field serial "$list")"
    # Names that share a download folder on Windows share the list, serial and all.
    cmp -s "$list" "$work/www/download/terbo/websetup.list" || fail "TERBO and terbo, published together, differ"
    # Signed again where the key is, on a copy holding the lists alone.
    cp "$list" "$work/published.list"
    mkdir -p "$work/lists/download/TERBO"
    cp "$list" "$work/lists/download/TERBO/"
    publish --resign --valid-days 365 "$key" "$work/lists" TERBO >"$work/resign.out" 2>&1 ||
      fail "--resign failed: $(cat "$work/resign.out")"
    resigned=$work/lists/download/TERBO/websetup.list
    [ "$(field serial "$resigned")" -gt "$(field serial "$work/published.list")" ] || fail "--resign did not raise the serial"
    [[ "$(field expires "$resigned")" > "$(field expires "$work/published.list")" ]] || fail "--resign did not put off the expiry"
    cmp -s <(sed '1,4d;$d' "$resigned") <(sed '1,4d;$d' "$work/published.list") || fail "--resign changed the file entries"
    cp "$resigned" "$list"
    check || fail "the check failed with the list signed again: $(cat "$work/check.out")"
    # A list some other key signed is left as it is.
    openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$work/other-key.pem" 2>/dev/null
    cp "$resigned" "$work/resigned.list"
    publish --resign "$work/other-key.pem" "$work/lists" TERBO >"$work/resign.out" 2>&1 &&
      fail "--resign with another key succeeded"
    grep -q "not signed by" "$work/resign.out" || fail "--resign with another key did not say why: $(cat "$work/resign.out")"
    cmp -s "$resigned" "$work/resigned.list" || fail "--resign with another key changed the list"
    ;;
  expiring)
    check && fail "the check passed a list that expires in 10 days"
    grep "TERBO/websetup.list" "$work/check.out" | grep -q "^FAIL.*expires within 10 day(s), under 14" ||
      fail "the check did not say that the list expires soon"
    [ "$(grep -c '^FAIL' "$work/check.out")" = 1 ] || fail "the check blamed more than the list"
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
    start_peer "$work/proxy-port" "$work/proxy.log" "$bin/tests/tools/connect_proxy" \
      --upstream "127.0.0.1:$nginx_port" --port-file "$work/proxy-port" || exit 1
    SSL_CERT_FILE=$work/pki/ca.pem https_proxy=http://127.0.0.1:$peer_port \
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
  endless*)
    started=$SECONDS
    check && fail "the check passed a list without end"
    ((SECONDS - started < 60)) || fail "the check took $((SECONDS - started)) s"
    why="sent more than 65536 bytes"
    [ "$scenario" = endless-slow ] && why="still sending after 30 s"
    grep -q "^FAIL.*http://127.0.0.1:$nginx_port/download/TERBO/websetup.list $why" "$work/check.out" ||
      fail "the check did not name the list's URL and '$why': $(cat "$work/check.out")"
    ;;
  *) echo "unknown scenario $scenario" >&2; exit 2 ;;
esac
[ $failures -eq 0 ] || { cat "$work/check.out" >&2; exit 1; }
