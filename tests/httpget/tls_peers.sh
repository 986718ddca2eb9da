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
source "$src/scripts/lib/vendor.sh"
source "$src/tests/tools/tls.sh"

pids=()
stop() { end_processes "${pids[@]}"; wait 2>/dev/null; }
trap stop EXIT
rm -rf "$work"
mkdir -p "$work"
make_test_pki "$work/pki" || { echo "openssl could not make the test's certificates" >&2; exit 1; }

start_peer "$work/scenario-port" "$work/scenario-server.log" "$bin/tests/httpget/scenario_server" "$work/root" \
  "$work/scenario-port" || exit 1
scenario=$peer_port

pass="location / { proxy_pass http://127.0.0.1:$scenario; proxy_redirect off; proxy_buffering off; }"
start_nginx "
  server { $(tls_server PORT "$work/pki/www") $pass }
  server { $(tls_server PORT2 "$work/pki/expired") $pass }
  server { $(tls_server PORT3 "$work/pki/untrusted") $pass }
  server { listen 127.0.0.1:PORT4; $pass }" "$work/nginx" || exit 1

start_peer "$work/proxy-port" "$work/proxy.log" "$bin/tests/tools/connect_proxy" --upstream "127.0.0.1:$nginx_port" \
  --port-file "$work/proxy-port" --route "expired.vendor.example=$nginx_port2" \
  --route "untrusted.vendor.example=$nginx_port3" --route "plain.vendor.example=$nginx_port4" \
  --plain "127.0.0.1:$scenario" || exit 1

export WEBSETUP_TLS_PROXY=127.0.0.1:$(cat "$work/proxy-port")
export WEBSETUP_TLS_CA=$work/pki/ca.pem WEBSETUP_TLS_BUNDLE=$work/pki/bundle.pem
"$@"
status=$?
if ((status != 0)); then
  echo "requests through the proxy:" >&2
  cat "$work/proxy.log" >&2
fi
exit $status
