# Sourced by the end-to-end scripts (BIN_DIR as bin): a scratch folder removed
# at exit with every process started into pids, a failure count, and an Xvfb
# display of the test's own; the desktop helpers come from
# scripts/lib/desktop.sh, the vendor's side from scripts/lib/vendor.sh.
src=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=../../scripts/lib/desktop.sh
source "$src/scripts/lib/desktop.sh"
# shellcheck source=../../scripts/lib/vendor.sh
source "$src/scripts/lib/vendor.sh"
work=$(mktemp -d)
pids=()
cleanup() {
  end_processes "${pids[@]}"
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
# Whether setup was started once, with LANGUAGE, in FOLDER; its line may come
# after the installer, which does not wait for it, has gone.
expect_setup_started() { # folder language
  wait_for_file "$1/setup-started.log" 10
  local line
  line=$(cat "$1/setup-started.log" 2>/dev/null)
  [ "$line" = "started $2 in $1" ] || fail "setup was not started once with $2 in $1: $line"
}
# The end of a script: what went wrong, with the logs named, or "ok".
finish() { # log...
  if ((failures > 0)); then
    local log
    for log in "$work/program.log" "$@"; do
      [ -e "$log" ] && { echo "$(basename "$log"):" >&2; cat "$log" >&2; }
    done
    exit 1
  fi
  echo "ok"
}

start_xvfb "$work" || { echo "Xvfb did not start" >&2; exit 1; }

# The tamper proxy in front of nginx ($nginx_port), started again with other
# options when it runs; its log goes on in $work/proxy.log.
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

# The published product behind nginx (its report page the vendor server's):
# the tree in $work/tree, TERBO published into $work/www; the caller starts
# nginx with $site in its server block.
vendor_side() {
  make_tree "$work/tree" || exit 1
  publish_product "$work/tree/TERBO" "$work/www" TERBO || exit 1
}
start_report_page() {
  start_vendor_server "$work/www/download" || exit 1
  site="root $work/www; location /programy/ { proxy_pass http://127.0.0.1:$vendor_port; }"
}

# $work/bin/TERBO.exe: the build's PROGRAM (websetup_trusted, ...).
link_program() { # program
  mkdir -p "$work/bin" "$work/temp"
  ln -sf "$(realpath "$bin/platform/posix/app/$1")" "$work/bin/TERBO.exe"
}
# TERBO.exe through the tamper proxy (or the one in $work/proxy-port), TEMP
# in $work/temp, more of its environment given; the Czech flag clicked. Sets
# program and window.
run_program() { # [NAME=VALUE...]
  # A request over TLS would show in the proxy's log as a CONNECT.
  local proxy=http://127.0.0.1:$(cat "$work/proxy-port")
  start_program TERBO TEMP="$work/temp" PROCESSOR_ARCHITECTURE=AMD64 http_proxy="$proxy" https_proxy="$proxy" \
    "$@" "$work/bin/TERBO.exe" || exit 1
  click_flag "$window" cz
}
