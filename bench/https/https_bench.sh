#!/usr/bin/env bash
# What TLS costs the Linux program (run by hand): its whole run, from the
# flag's click to its end, over HTTPS (websetup_https) against the same run
# over HTTP (websetup_trusted), both built with the build folder's key,
# alternately, RUNS times each, TERBO's files with its database package
# replaced by a file of MIB MiB, from the same nginx on loopback (a plain and
# a TLS port over one web root) through the same proxy (the test's CONNECT
# proxy, which hands plain requests on too); then for each the time from the
# request of the first file to its first byte (bench/https/first_byte).
#
#   bench/https/https_bench.sh
#
# Environment: BUILD_DIR (default build), MIB (256), RUNS (3), FIRST_BYTE_RUNS (20).
targets=(websetup_trusted websetup_https connect_proxy first_byte)
source "$(dirname "$0")/../common.sh"
source tests/tools/tls.sh
mib=${MIB:-256}
runs=${RUNS:-3}
first_runs=${FIRST_BYTE_RUNS:-20}

make_test_pki "$work/pki"
head -c $((mib << 20)) /dev/urandom >"$work/big.bin"
bench_tree "$work/big.bin"
start_vendor_server "$work/www/download"
site="sendfile on; root $work/www; location /programy/ { proxy_pass http://127.0.0.1:$vendor_port; }"
start_nginx "server { listen 127.0.0.1:PORT; $site } server { $(tls_server PORT2 "$work/pki/www") $site }"
start_peer "$work/proxy-port" "$work/proxy.log" "$bin/tests/tools/connect_proxy" --upstream "127.0.0.1:$nginx_port2" \
  --plain "127.0.0.1:$nginx_port" --port-file "$work/proxy-port"
proxy=http://127.0.0.1:$peer_port

# One run of a program: seconds from the click to its end.
run() { # program
  timed_run "$1" http_proxy="$proxy" https_proxy="$proxy" SSL_CERT_FILE="$work/pki/ca.pem"
}
echo "== the Linux program's whole run, TERBO with a $mib MiB database package, nginx on loopback"
compare_runs websetup_trusted HTTP websetup_https HTTPS "1.15 at most"

echo "== from the request of the first file to its first byte (after the list, on a fresh transport)"
path=www.vendor.example/download/TERBO
echo -n "  HTTP:  "
http_proxy=$proxy "$bin/bench/https/first_byte" "http://$path/websetup.list" "http://$path/comm32.zip" "$first_runs"
echo -n "  HTTPS: "
https_proxy=$proxy SSL_CERT_FILE="$work/pki/ca.pem" \
  "$bin/bench/https/first_byte" "https://$path/websetup.list" "https://$path/comm32.zip" "$first_runs"
