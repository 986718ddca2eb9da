# shellcheck shell=bash
# Sourced by scripts/windows-test.sh: the peers on loopback the program and
# the tests talk to.

files=$run/transport-files
tree=$run/tree
www=$run/www
www_expired=$run/www-expired

# A vendor server: start_server NAME ROOT [vendor_server options]; sets
# port_NAME. Its report log is $run/NAME-report.log, its requests $run/NAME-server.log.
start_server() {
  local name=$1 root=$2
  shift 2
  rm -f "$run/$name-port" "$run/$name-report.log"
  "$helper/tools/vendor_server/vendor_server" --root "$root" --log "$run/$name-report.log" \
    --port-file "$run/$name-port" "$@" >"$run/$name-server.log" 2>&1 &
  pids+=($!)
  wait_for_file "$run/$name-port" 10 || fail "the vendor server $name did not start"
  printf -v "port_$name" '%s' "$(cat "$run/$name-port")"
}

# A proxy in front of a server that can change what passes (tamper_proxy):
# start_proxy NAME UPSTREAM-PORT [tamper_proxy options]; sets port_NAME. Its
# request log is $run/NAME-requests.log.
start_proxy() {
  local name=$1 upstream=$2
  shift 2
  rm -f "$run/$name-port"
  "$helper/tests/tools/tamper_proxy" --upstream "127.0.0.1:$upstream" --port-file "$run/$name-port" "$@" \
    >"$run/$name-requests.log" 2>&1 &
  pids+=($!)
  wait_for_file "$run/$name-port" 10 || fail "the proxy $name did not start"
  printf -v "port_$name" '%s' "$(cat "$run/$name-port")"
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
  "$helper/tests/httpget/scenario_server" "$run/scenarios" "$run/scenarios-port" >"$run/scenarios-server.log" 2>&1 &
  pids+=($!)
  wait_for_file "$run/scenarios-port" 10 || fail "the scenario server did not start"
  port_scenarios=$(cat "$run/scenarios-port")
  "$helper/tools/vendor_server/make_demo_tree" "$tree" "$win/tools/vendor_server/demo_setup.exe" >/dev/null
  for d in "$tree"/*; do [ "$(basename "$d")" = TERBO ] || rm -rf "$d"; done
  BUILD_DIR=$helper scripts/publish.sh "$vendor_key" "$tree/TERBO" "$www" TERBO >/dev/null ||
    fail "scripts/publish.sh could not publish TERBO"
  BUILD_DIR=$helper scripts/publish.sh --expires 2026-01-01T00:00:00Z "$vendor_key" "$tree/TERBO" "$www_expired" \
    TERBO >/dev/null || fail "scripts/publish.sh could not publish TERBO with a past expiry"
}
