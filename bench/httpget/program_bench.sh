#!/usr/bin/env bash
# The real Linux program (run by hand), its window live, fetching TERBO's
# files with the first one replaced by a file of MIB MiB, from nginx on
# loopback; beside curl on the same file and, with BASE_BUILD, beside the
# program of that build (say, the one before a change), interleaved, RUNS
# times each; medians. Every transfer is timed alike, by nginx
# ($request_time: from the request to the last byte handed to the socket).
# Then the CPU time of each program's idle window, the language page shown
# for IDLE seconds, RUNS times each.
#
#   bench/httpget/program_bench.sh
#
# Environment: BUILD_DIR (default build), BASE_BUILD (none), MIB (256),
# RUNS (5), IDLE (10).
set -euo pipefail
cd "$(dirname "$0")/../.."
# shellcheck source=scripts/lib/desktop.sh
source scripts/lib/desktop.sh
build=$(realpath "${BUILD_DIR:-build}")
base=${BASE_BUILD:+$(realpath "$BASE_BUILD")}
mib=${MIB:-256}
runs=${RUNS:-5}
idle=${IDLE:-10}

cmake --build "$build" --target websetup make_demo_tree demo_setup >/dev/null
[ ! -f "$base/build.ninja" ] || cmake --build "$base" --target websetup >/dev/null

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

"$build/tools/vendor_server/make_demo_tree" "$work/www/download" "$build/tools/vendor_server/demo_setup" >/dev/null
file=comm32.zip
head -c $((mib << 20)) /dev/urandom >"$work/www/download/TERBO/$file"
size=$(stat -c %s "$work/www/download/TERBO/$file")
port=$(free_port)
mkdir -p "$work/nginx"
cat >"$work/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
  log_format timed '\$request_uri \$status \$body_bytes_sent \$request_time';
  access_log $work/nginx/access.log timed;
  sendfile on;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  server { listen 127.0.0.1:$port; root $work/www; }
}
CONF
nginx -c "$work/nginx.conf" -p "$work/nginx" >/dev/null 2>&1 &
pids+=($!)
wait_port "$port" 10 || { echo "nginx did not start" >&2; exit 1; }
start_xvfb "$work" || { echo "Xvfb did not start" >&2; exit 1; }
proxy=http://127.0.0.1:$port
url=http://www.vendor.example/download/TERBO/$file

# MiB/s of the last logged transfer of the big file, which must be whole.
last_rate() {
  local line
  line=$(grep "/$file 200 $size " "$work/nginx/access.log" | tail -1)
  [ -n "$line" ] || { echo "no whole transfer of $file logged" >&2; exit 1; }
  echo "$size / 1048576 / ${line##* }" | bc -l
}

# Starts the program of a build with a fresh TEMP; sets program and window.
# A start that could not reach the display is tried again.
start() { # build
  for _ in 1 2 3; do
    rm -rf "${work:?}/temp" "${work:?}/bin"
    mkdir -p "$work/temp" "$work/bin"
    ln -s "$1/platform/posix/app/websetup" "$work/bin/TERBO.exe"
    TEMP="$work/temp" PROCESSOR_ARCHITECTURE=AMD64 http_proxy=$proxy "$work/bin/TERBO.exe" >"$work/program.log" 2>&1 &
    program=$!
    find_window TERBO 30 && return 0
    process_gone "$program" || break
  done
  echo "$1: no window; the program $(process_gone "$program" && echo ended || echo runs):" >&2
  cat "$work/program.log" >&2
  exit 1
}

program_rate() { # build
  start "$1"
  sleep 0.3
  click_flag "$window" cz
  wait_gone "$program" 120 || { echo "$1: the run did not end" >&2; exit 1; }
  wait_for_file "$work/temp/TERBO/setup-started.log" 5 || { echo "$1: the run did not complete" >&2; exit 1; }
  last_rate
}

curl_rate() {
  curl -s -f -o "$work/curl.bin" -x "$proxy" "$url"
  cmp -s "$work/curl.bin" "$work/www/download/TERBO/$file" || { echo "curl's copy differs" >&2; exit 1; }
  rm -f "$work/curl.bin"
  last_rate
}

# User and system time of a process, in clock ticks.
cpu_ticks() { # pid
  sed 's/.*) //' /proc/"$1"/stat | awk '{ print $12 + $13 }'
}

# Milliseconds of CPU the program's threads used while its language page
# was shown for IDLE seconds.
idle_cpu() { # build
  start "$1"
  sleep 1
  local t0 t1
  t0=$(cpu_ticks "$program")
  sleep "$idle"
  t1=$(cpu_ticks "$program")
  kill "$program"
  wait "$program" 2>/dev/null || true
  echo "($t1 - $t0) * 1000 / $(getconf CLK_TCK)" | bc -l
}

median() { printf '%s\n' "$@" | sort -g | sed -n "$((($# + 1) / 2))p"; }
show() { printf '%s' "$1"; shift; printf ' %.1f' "$@"; echo; }

echo "== $mib MiB from nginx on loopback, the window live ($(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg))"
new=() old=() ref=()
for i in $(seq "$runs"); do
  ref+=("$(curl_rate)")
  new+=("$(program_rate "$build")")
  [ -z "$base" ] || old+=("$(program_rate "$base")")
  printf '  run %d: curl %.1f, program %.1f%s MiB/s\n' "$i" "${ref[-1]}" "${new[-1]}" \
    "${base:+, before $(printf '%.1f' "${old[-1]:-0}")}"
done
c=$(median "${ref[@]}") n=$(median "${new[@]}")
printf 'median of %d, MiB/s: curl %.1f, program %.1f (%.2fx curl, %.2fx a 1 Gbit/s line of 119 MiB/s; target 1.5x)\n' \
  "$runs" "$c" "$n" "$(echo "$n / $c" | bc -l)" "$(echo "$n / 119.2" | bc -l)"
if [ -n "$base" ]; then
  o=$(median "${old[@]}")
  printf '  before: %.1f MiB/s (%.2fx a 1 Gbit/s line); now %.2fx before\n' "$o" "$(echo "$o / 119.2" | bc -l)" \
    "$(echo "$n / $o" | bc -l)"
fi

echo "== CPU time of the idle window, the language page shown ${idle} s (ms; load $(cut -d' ' -f1-3 /proc/loadavg))"
inew=() iold=()
for i in $(seq "$runs"); do
  inew+=("$(idle_cpu "$build")")
  [ -z "$base" ] || iold+=("$(idle_cpu "$base")")
done
show "  program:" "${inew[@]}"
[ -z "$base" ] || show "  before: " "${iold[@]}"
printf 'median: %.1f ms%s\n' "$(median "${inew[@]}")" "${base:+, before $(printf '%.1f' "$(median "${iold[@]}")") ms}"
