#!/usr/bin/env bash
# What a bad line costs a program built with more tries (run by hand): the
# Linux program websetup_resilient runs TERBO, its database package replaced
# by MIB MiB, through a proxy that cuts every file's first transfer at half
# its length, against the same run on a clean line; alternately, RUNS times
# each. It prints the bytes the proxy passed and the wall time of each, and
# the ratios (targets: bytes at most 1.1 times, time at most 1.3 times plus
# the pauses before the new tries, a second each).
#
#   bench/resilience/resilience_bench.sh
#
# Environment: BUILD_DIR (default build), MIB (64), RUNS (3).
set -euo pipefail
cd "$(dirname "$0")/../.."
src=$PWD
source scripts/lib/desktop.sh
build=${BUILD_DIR:-build}
mib=${MIB:-64}
runs=${RUNS:-3}

cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target websetup_resilient vendor_server make_demo_tree demo_setup catalogue server_check \
  tamper_proxy >/dev/null

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

"$build/tools/vendor_server/make_demo_tree" "$work/tree" "$build/tools/vendor_server/demo_setup" >/dev/null
# The largest of TERBO's files is its database package.
head -c $((mib << 20)) /dev/urandom >"$work/tree/TERBO/$(ls -S "$work/tree/TERBO" | head -1)"
BUILD_DIR=$src/$build scripts/publish.sh "$build/trust-test/private-key.pem" "$work/tree/TERBO" "$work/www" TERBO >/dev/null
"$build/tools/vendor_server/vendor_server" --root "$work/www/download" --log "$work/report.log" \
  --port-file "$work/server-port" >/dev/null 2>&1 &
pids+=($!)
start_xvfb "$work" || { echo "Xvfb did not start" >&2; exit 1; }
wait_for_file "$work/server-port" 10 || { echo "the vendor server did not start" >&2; exit 1; }
mapfile -t files < <("$build/tools/catalogue/catalogue" TERBO 64 | tail -n +2)
cuts=(--once)
for line in "${files[@]}"; do cuts+=(--cut "/download/TERBO/${line%% *}=half"); done

# One run through a fresh proxy: "SECONDS BYTES", from the click to the end.
run() { # tamper_proxy options
  rm -rf "${work:?}/temp" "${work:?}/bin" "$work/proxy-port"
  mkdir -p "$work/temp" "$work/bin"
  "$build/tests/tools/tamper_proxy" --upstream "127.0.0.1:$(cat "$work/server-port")" \
    --port-file "$work/proxy-port" "$@" >"$work/proxy.log" 2>&1 &
  local proxy=$!
  wait_for_file "$work/proxy-port" 10 || { echo "the proxy did not start" >&2; exit 1; }
  ln -s "$(realpath "$build/platform/posix/app/websetup_resilient")" "$work/bin/TERBO.exe"
  TEMP="$work/temp" PROCESSOR_ARCHITECTURE=AMD64 http_proxy="http://127.0.0.1:$(cat "$work/proxy-port")" \
    "$work/bin/TERBO.exe" >/dev/null 2>&1 &
  local program=$! start end
  find_window TERBO 20 || { echo "no window" >&2; exit 1; }
  sleep 0.3
  start=$(date +%s.%N)
  click_flag "$window" cz
  wait "$program"
  end=$(date +%s.%N)
  kill "$proxy" 2>/dev/null || true
  wait_for_file "$work/temp/TERBO/setup-started.log" 5 || { echo "the run did not complete" >&2; exit 1; }
  echo "$(echo "$end - $start" | bc) $(awk '$1 == "sent" && $2 ~ /\.zip$/ { n += $3 } END { print n + 0 }' "$work/proxy.log")"
}
sizes=0
for line in "${files[@]}"; do sizes=$((sizes + $(stat -c %s "$work/www/download/TERBO/${line%% *}"))); done
clean_t=() clean_b=() cut_t=() cut_b=()
for i in $(seq "$runs"); do
  read -r t b <<<"$(run)"
  clean_t+=("$t") clean_b+=("$b")
  read -r t b <<<"$(run "${cuts[@]}")"
  cut_t+=("$t") cut_b+=("$b")
  echo "  run $i: clean line ${clean_t[-1]} s, ${clean_b[-1]} bytes; every file cut once ${cut_t[-1]} s, ${cut_b[-1]} bytes"
done
median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }
ct=$(median "${clean_t[@]}") cb=$(median "${clean_b[@]}") xt=$(median "${cut_t[@]}") xb=$(median "${cut_b[@]}")
pauses=${#files[@]}
echo "files: $sizes bytes; medians of $runs runs"
echo "bytes: cut $xb against clean $cb: ratio $(echo "scale=3; $xb / $cb" | bc)"
echo "time: cut $xt s against clean $ct s: ratio $(echo "scale=3; $xt / $ct" | bc);" \
  "without the $pauses one-second pauses before new tries: $(echo "scale=3; ($xt - $pauses) / $ct" | bc)"
