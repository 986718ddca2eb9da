# shellcheck shell=bash
# Sourced after desktop.sh: the vendor's side of a run on loopback (the demo's
# files, published; the vendor server, nginx, the test proxies), for the
# end-to-end tests, the benchmarks and the Windows runs. Callers set bin (a
# build folder of the native tools, absolute), src (the source tree) and work
# (a scratch folder); processes started go into pids. Functions only.

# The demo's files in FOLDER, only PRODUCT's when one is named; the setup
# program is the native demo_setup unless another is given.
make_tree() { # folder [product [setup-program]]
  local d
  "$bin/tools/vendor_server/make_demo_tree" "$1" "${3:-$bin/tools/vendor_server/demo_setup}" >/dev/null || return 1
  [ -n "${2:-}" ] || return 0
  for d in "$1"/*; do [ "$(basename "$d")" = "$2" ] || rm -rf "$d"; done
}

# scripts/publish.sh with this build's tools.
publish() { BUILD_DIR=$bin "$src/scripts/publish.sh" "$@"; }
# A product's files published into a web root, signed with $key (default the
# build folder's throw-away key).
publish_product() { # files-folder webroot program [publish options]
  publish "${@:4}" "${key:-$bin/trust-test/private-key.pem}" "$1" "$2" "$3" >/dev/null
}

# Starts a peer that writes the port it bound (port 0: no other test can take
# it) into PORT-FILE, its output into OUTPUT; sets peer_port.
start_peer() { # port-file output command...
  local file=$1 out=$2
  shift 2
  rm -f "$file"
  "$@" >"$out" 2>&1 &
  pids+=($!)
  wait_for_file "$file" 10 || { echo "$(basename "$1") did not start: $(cat "$out")" >&2; return 1; }
  peer_port=$(cat "$file")
}

# The vendor server on ROOT, its report lines in $work/report.log; sets vendor_port.
start_vendor_server() { # root [vendor_server options]
  start_peer "$work/report-port" "$work/server.log" "$bin/tools/vendor_server/vendor_server" --root "$1" \
    --log "$work/report.log" --port-file "$work/report-port" "${@:2}" || return 1
  vendor_port=$peer_port
}

# nginx with the server blocks given (PORT, PORT2, ... where its ports go),
# its files, configuration and access log ($host $request_uri $status) in
# FOLDER (default $work/nginx); sets nginx_port, nginx_port2, ... nginx must
# be told its ports: when another process takes one first, it is started
# again on others.
start_nginx() { # server-blocks [folder]
  nginx_dir=${2:-$work/nginx}
  nginx_blocks=$1
  mkdir -p "$nginx_dir"
  local count=1
  while [[ $nginx_blocks == *PORT$((count + 1))* ]]; do count=$((count + 1)); done
  start_on_free_ports "$count" nginx_start ||
    { echo "nginx did not start" >&2; cat "$nginx_dir/nginx.out" "$nginx_dir/error.log" >&2; return 1; }
  local n
  for ((n = count; n >= 1; n--)); do printf -v "nginx_port${n#1}" '%s' "${ports[n - 1]}"; done
}
nginx_start() {
  local n blocks=$nginx_blocks dir=$nginx_dir
  for ((n = ${#ports[@]}; n >= 1; n--)); do blocks=${blocks//PORT${n#1}/${ports[n - 1]}}; done
  cat >"$dir/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/error.log;
events { worker_connections 64; }
http {
  log_format peer '\$host \$request_uri \$status';
  access_log $dir/access.log peer;
  client_body_temp_path $dir/body;
  proxy_temp_path $dir/proxy;
  fastcgi_temp_path $dir/fastcgi;
  uwsgi_temp_path $dir/uwsgi;
  scgi_temp_path $dir/scgi;
$blocks
}
CONF
  "$(command -v nginx || echo /usr/sbin/nginx)" -c "$dir/nginx.conf" -p "$dir" >"$dir/nginx.out" 2>&1 &
  server_pid=$!
  pids+=("$server_pid")
}
