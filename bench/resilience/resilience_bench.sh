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
targets=(websetup_resilient tamper_proxy)
source "$(dirname "$0")/../common.sh"
mib=${MIB:-64}
runs=${RUNS:-3}

head -c $((mib << 20)) /dev/urandom >"$work/big.bin"
bench_tree "$work/big.bin"
start_vendor_server "$work/www/download"
mapfile -t files < <("$bin/tools/catalogue/catalogue" TERBO 64 | tail -n +2)
cuts=(--once)
for line in "${files[@]}"; do cuts+=(--cut "/download/TERBO/${line%% *}=half"); done

# One run through a fresh proxy: "SECONDS BYTES", from the click to the end.
run() { # tamper_proxy options
  start_peer "$work/proxy-port" "$work/proxy.log" "$bin/tests/tools/tamper_proxy" \
    --upstream "127.0.0.1:$vendor_port" --port-file "$work/proxy-port" "$@"
  local proxy=${pids[-1]} took
  took=$(timed_run websetup_resilient http_proxy="http://127.0.0.1:$peer_port")
  kill "$proxy" 2>/dev/null || true
  echo "$took $(awk '$1 == "sent" && $2 ~ /\.zip$/ { n += $3 } END { print n + 0 }' "$work/proxy.log")"
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
ct=$(median "${clean_t[@]}") cb=$(median "${clean_b[@]}") xt=$(median "${cut_t[@]}") xb=$(median "${cut_b[@]}")
pauses=${#files[@]}
echo "files: $sizes bytes; medians of $runs runs"
echo "bytes: cut $xb against clean $cb: ratio $(echo "scale=3; $xb / $cb" | bc)"
echo "time: cut $xt s against clean $ct s: ratio $(echo "scale=3; $xt / $ct" | bc);" \
  "without the $pauses one-second pauses before new tries: $(echo "scale=3; ($xt - $pauses) / $ct" | bc)"
