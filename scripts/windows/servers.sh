# shellcheck shell=bash
# Sourced by scripts/windows-test.sh: the peers on loopback the program and
# the tests talk to.

files=$run/transport-files
tree=$run/tree
www=$run/www
www_expired=$run/www-expired
www_resilient=$run/www-resilient
www_https=$run/www-https
pki=$run/pki
# shellcheck source=../../tests/tools/tls.sh
source "$src/tests/tools/tls.sh"

# A vendor server: start_server NAME ROOT [vendor_server options]; sets
# port_NAME. Its report log is $run/NAME-report.log, its requests $run/NAME-server.log.
start_server() {
  local name=$1 root=$2
  shift 2
  rm -f "$run/$name-report.log"
  start_peer "$run/$name-port" "$run/$name-server.log" "$helper/tools/vendor_server/vendor_server" --root "$root" \
    --log "$run/$name-report.log" --port-file "$run/$name-port" "$@" || fail "the vendor server $name did not start"
  printf -v "port_$name" '%s' "$peer_port"
}

# A proxy in front of a server that can change what passes (tamper_proxy):
# start_proxy NAME UPSTREAM-PORT [tamper_proxy options]; sets port_NAME. Its
# request log is $run/NAME-requests.log.
start_proxy() {
  local name=$1 upstream=$2
  shift 2
  start_peer "$run/$name-port" "$run/$name-requests.log" "$helper/tests/tools/tamper_proxy" \
    --upstream "127.0.0.1:$upstream" --port-file "$run/$name-port" "$@" || fail "the proxy $name did not start"
  printf -v "port_$name" '%s' "$peer_port"
}

# nginx over TLS with the test's certificate for www.vendor.example in front
# of a vendor server, and the test's CONNECT proxy in front of nginx:
# start_tls_front NAME UPSTREAM-PORT; sets port_NAME (the proxy's). nginx's
# access log ($host $request_uri $status) is $run/NAME-nginx/access.log, the
# proxy's $run/NAME-requests.log.
start_tls_front() {
  local name=$1 upstream=$2
  start_nginx "server { $(tls_server PORT "$pki/www") location / { proxy_pass http://127.0.0.1:$upstream; proxy_buffering off; } }" \
    "$run/$name-nginx" || fail "nginx over TLS for $name did not start"
  start_peer "$run/$name-port" "$run/$name-requests.log" "$helper/tests/tools/connect_proxy" \
    --upstream "127.0.0.1:$nginx_port" --port-file "$run/$name-port" || fail "the CONNECT proxy $name did not start"
  printf -v "port_$name" '%s' "$peer_port"
}

# The files of the WinINet transport test, TERBO's download tree as the demo
# lays it out (the setup program is the Windows one), the same published with
# the vendor's key and its signed list, and the servers every machine shares.
start_servers() {
  step "vendor servers: WinINet transport files, the scenario table, TERBO's download tree"
  mkdir -p "$files/W"
  head -c 300000 /dev/urandom >"$files/W/full.bin"
  head -c 300000 /dev/urandom >"$files/W/short.bin"
  head -c 70000 /dev/urandom >"$files/W/nolength.bin"
  start_server transport "$files" --fault /download/W/short.bin=cut:5000 --fault /download/W/nolength.bin=nolength
  # The scenario table's server; scenario_test.exe holds the same table.
  start_peer "$run/scenarios-port" "$run/scenarios-server.log" "$helper/tests/httpget/scenario_server" \
    "$run/scenarios" "$run/scenarios-port" || fail "the scenario server did not start"
  port_scenarios=$peer_port
  bin=$helper make_tree "$tree" TERBO "$win/tools/vendor_server/demo_setup.exe"
  BUILD_DIR=$helper scripts/publish.sh "$vendor_key" "$tree/TERBO" "$www" TERBO >/dev/null ||
    fail "scripts/publish.sh could not publish TERBO"
  BUILD_DIR=$helper scripts/publish.sh --expires 2026-01-01T00:00:00Z "$vendor_key" "$tree/TERBO" "$www_expired" \
    TERBO >/dev/null || fail "scripts/publish.sh could not publish TERBO with a past expiry"
  # For the program built with more tries, signed with the cross build's own throw-away key.
  BUILD_DIR=$helper scripts/publish.sh "$win/trust-test/private-key.pem" "$tree/TERBO" "$www_resilient" TERBO \
    >/dev/null || fail "scripts/publish.sh could not publish TERBO with the cross build's key"
  # The same for the program built with WEBSETUP_HTTPS, served over TLS with
  # the test's own certificates.
  make_test_pki "$pki" || fail "openssl could not make the test's certificates"
  BUILD_DIR=$helper scripts/publish.sh "$win/trust-test/private-key.pem" "$tree/TERBO" "$www_https" TERBO \
    >/dev/null || fail "scripts/publish.sh could not publish TERBO for the TLS runs"
}
