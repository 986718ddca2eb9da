# Sourced by the end-to-end scripts: a scratch folder removed at exit with
# every process started into pids, a failure count, and an Xvfb display of
# the test's own; the desktop helpers come from scripts/lib/desktop.sh.
# shellcheck source=../../scripts/lib/desktop.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/desktop.sh"
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

start_xvfb "$work" || { echo "Xvfb did not start" >&2; exit 1; }

# Starts nginx on a free loopback port with the server blocks given (they
# write PORT where the port goes), its files and access log ($host, request,
# status) under $work/nginx; sets nginx_port.
start_nginx() { # server-blocks
  nginx_port=$(free_port) || return 1
  mkdir -p "$work/nginx"
  cat >"$work/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
  log_format peer '\$host \$request_uri \$status';
  access_log $work/nginx/access.log peer;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
${1//PORT/$nginx_port}
}
CONF
  "$(command -v nginx || echo /usr/sbin/nginx)" -c "$work/nginx.conf" -p "$work/nginx" >"$work/nginx.out" 2>&1 &
  pids+=($!)
  wait_port "$nginx_port" 10 || { echo "nginx did not start" >&2; cat "$work/nginx.out" >&2; return 1; }
}

# The tamper proxy in front of nginx ($bin's build, $nginx_port), started
# again with other options when it runs; its log goes on in $work/proxy.log.
proxy_pid=""
start_proxy() { # tamper_proxy options
  [ -n "$proxy_pid" ] && kill "$proxy_pid" 2>/dev/null
  rm -f "$work/proxy-port"
  "$bin/tests/tools/tamper_proxy" --upstream "127.0.0.1:$nginx_port" --port-file "$work/proxy-port" "$@" \
    >>"$work/proxy.log" 2>&1 &
  proxy_pid=$!
  pids+=($proxy_pid)
  wait_for_file "$work/proxy-port" 10 || { echo "the proxy did not start" >&2; exit 1; }
}

# $work/bin/TERBO.exe through that proxy, TEMP in $work/temp, its output
# appended to $work/program.log; the Czech flag clicked. Sets program and window.
program=""
run_program() { # starts TERBO.exe and clicks the Czech flag
  # A request over TLS would show in the proxy's log as a CONNECT.
  env TEMP="$work/temp" PROCESSOR_ARCHITECTURE=AMD64 http_proxy="http://127.0.0.1:$(cat "$work/proxy-port")" \
    https_proxy="http://127.0.0.1:$(cat "$work/proxy-port")" "$work/bin/TERBO.exe" >>"$work/program.log" 2>&1 &
  program=$!
  pids+=($program)
  find_window TERBO 20 || { echo "no window named TERBO" >&2; cat "$work/program.log" >&2; exit 1; }
  sleep 0.5
  click_flag "$window" cz
}
