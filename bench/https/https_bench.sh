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
set -euo pipefail
cd "$(dirname "$0")/../.."
src=$PWD
source scripts/lib/desktop.sh
source tests/tools/tls.sh
build=${BUILD_DIR:-build}
mib=${MIB:-256}
runs=${RUNS:-3}
first_runs=${FIRST_BYTE_RUNS:-20}

cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target websetup_trusted websetup_https vendor_server make_demo_tree demo_setup catalogue \
  server_check connect_proxy first_byte >/dev/null

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

make_test_pki "$work/pki"
"$build/tools/vendor_server/make_demo_tree" "$work/tree" "$build/tools/vendor_server/demo_setup" >/dev/null
head -c $((mib << 20)) /dev/urandom >"$work/tree/TERBO/$(ls -S "$work/tree/TERBO" | head -1)"
BUILD_DIR=$src/$build scripts/publish.sh "$build/trust-test/private-key.pem" "$work/tree/TERBO" "$work/www" TERBO >/dev/null
"$build/tools/vendor_server/vendor_server" --root "$work/www/download" --log "$work/report.log" \
  --port-file "$work/report-port" >/dev/null 2>&1 &
pids+=($!)
wait_for_file "$work/report-port" 10 || { echo "the vendor server did not start" >&2; exit 1; }

plain_port=$(free_port) tls_port=$(free_port)
mkdir -p "$work/nginx"
site="root $work/www; location /programy/ { proxy_pass http://127.0.0.1:$(cat "$work/report-port"); }"
cat >"$work/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  server { listen 127.0.0.1:$plain_port; $site }
  server { $(tls_server "$tls_port" "$work/pki/www") $site }
}
CONF
nginx -c "$work/nginx.conf" -p "$work/nginx" >/dev/null 2>&1 &
pids+=($!)
wait_port "$tls_port" 10 || { echo "nginx did not start" >&2; exit 1; }
"$build/tests/tools/connect_proxy" --upstream "127.0.0.1:$tls_port" --plain "127.0.0.1:$plain_port" \
  --port-file "$work/proxy-port" >/dev/null 2>&1 &
pids+=($!)
wait_for_file "$work/proxy-port" 10 || { echo "the proxy did not start" >&2; exit 1; }
proxy=http://127.0.0.1:$(cat "$work/proxy-port")
start_xvfb "$work" || { echo "Xvfb did not start" >&2; exit 1; }

# One run of a program: seconds from the click to its end.
run() { # program
  rm -rf "${work:?}/temp" "${work:?}/bin"
  mkdir -p "$work/temp" "$work/bin"
  ln -s "$(realpath "$build/platform/posix/app/$1")" "$work/bin/TERBO.exe"
  TEMP="$work/temp" PROCESSOR_ARCHITECTURE=AMD64 http_proxy=$proxy https_proxy=$proxy \
    SSL_CERT_FILE="$work/pki/ca.pem" "$work/bin/TERBO.exe" >/dev/null 2>&1 &
  local program=$! start
  find_window TERBO 20 || { echo "$1 showed no window" >&2; exit 1; }
  sleep 0.3
  start=$(date +%s.%N)
  click_flag "$window" cz
  wait "$program"
  local end
  end=$(date +%s.%N)
  wait_for_file "$work/temp/TERBO/setup-started.log" 5 || { echo "$1 did not complete" >&2; exit 1; }
  echo "$end - $start" | bc
}
echo "== the Linux program's whole run, TERBO with a $mib MiB database package, nginx on loopback"
plain=() tls=()
for i in $(seq "$runs"); do
  plain+=("$(run websetup_trusted)")
  tls+=("$(run websetup_https)")
  echo "  run $i: HTTP ${plain[-1]} s, HTTPS ${tls[-1]} s"
done
median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }
p=$(median "${plain[@]}")
t=$(median "${tls[@]}")
echo "median of $runs: HTTP $p s, HTTPS $t s: ratio $(echo "scale=3; $t / $p" | bc) (target: 1.15 at most)"
echo "(each run includes the program's own pauses: about 1 s before the first file, between files and before the report)"

echo "== from the request of the first file to its first byte (after the list, on a fresh transport)"
path=www.vendor.example/download/TERBO
echo -n "  HTTP:  "
http_proxy=$proxy "$build/bench/https/first_byte" "http://$path/websetup.list" "http://$path/comm32.zip" "$first_runs"
echo -n "  HTTPS: "
https_proxy=$proxy SSL_CERT_FILE="$work/pki/ca.pem" \
  "$build/bench/https/first_byte" "https://$path/websetup.list" "https://$path/comm32.zip" "$first_runs"
