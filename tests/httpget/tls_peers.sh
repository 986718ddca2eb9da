#!/bin/bash
# The TLS peers of the scenario table's TLS rows, around one command:
#
#   tls_peers.sh HELPER_BIN_DIR WORK_DIR COMMAND...
#
# makes the test's certificates (tests/tools/tls.sh) in WORK_DIR, serves the
# scenario table (scenario_server), puts nginx in front of it with one TLS
# peer per kind of certificate and one plain-HTTP peer, starts the test's
# CONNECT proxy (connect_proxy) that sends each row's host to its peer and
# hands plain requests to the scenario server, runs COMMAND with
#   WEBSETUP_TLS_PROXY   127.0.0.1:PORT of the proxy
#   WEBSETUP_TLS_CA      the test's authority (natively: SSL_CERT_FILE)
#   WEBSETUP_TLS_BUNDLE  the machine's bundle with that authority added (Wine)
# and stops everything again; its exit code is COMMAND's.
set -u
bin=$1 work=$2
shift 2
src=$(cd "$(dirname "$0")/../.." && pwd)
source "$src/scripts/lib/desktop.sh"
source "$src/tests/tools/tls.sh"

pids=()
stop() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done; wait 2>/dev/null; }
trap stop EXIT
rm -rf "$work"
mkdir -p "$work/nginx"
make_test_pki "$work/pki" || { echo "openssl could not make the test's certificates" >&2; exit 1; }

"$bin/tests/httpget/scenario_server" "$work/root" "$work/scenario-port" >"$work/scenario-server.log" 2>&1 &
pids+=($!)
wait_for_file "$work/scenario-port" 10 || { echo "the scenario server did not start" >&2; exit 1; }
scenario=$(cat "$work/scenario-port")

good=$(free_port) expired=$(free_port) untrusted=$(free_port) plain=$(free_port)
pass="location / { proxy_pass http://127.0.0.1:$scenario; proxy_redirect off; proxy_buffering off; }"
cat >"$work/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
  access_log $work/nginx/access.log;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  server { $(tls_server "$good" "$work/pki/www") $pass }
  server { $(tls_server "$expired" "$work/pki/expired") $pass }
  server { $(tls_server "$untrusted" "$work/pki/untrusted") $pass }
  server { listen 127.0.0.1:$plain; $pass }
}
CONF
"$(command -v nginx || echo /usr/sbin/nginx)" -c "$work/nginx.conf" -p "$work/nginx" >"$work/nginx.out" 2>&1 &
pids+=($!)
for port in "$good" "$expired" "$untrusted" "$plain"; do
  wait_port "$port" 10 || { echo "nginx did not start" >&2; cat "$work/nginx.out" "$work/nginx/error.log" >&2; exit 1; }
done

"$bin/tests/tools/connect_proxy" --upstream "127.0.0.1:$good" --port-file "$work/proxy-port" \
  --route "expired.vendor.example=$expired" --route "untrusted.vendor.example=$untrusted" \
  --route "plain.vendor.example=$plain" --plain "127.0.0.1:$scenario" >"$work/proxy.log" 2>&1 &
pids+=($!)
wait_for_file "$work/proxy-port" 10 || { echo "the CONNECT proxy did not start" >&2; exit 1; }

export WEBSETUP_TLS_PROXY=127.0.0.1:$(cat "$work/proxy-port")
export WEBSETUP_TLS_CA=$work/pki/ca.pem WEBSETUP_TLS_BUNDLE=$work/pki/bundle.pem
"$@"
status=$?
if ((status != 0)); then
  echo "requests through the proxy:" >&2
  cat "$work/proxy.log" >&2
fi
exit $status
