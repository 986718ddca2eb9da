#!/usr/bin/env bash
# What the vendor's check costs (run by hand):
#   - SHA-256 of a file of MIB MiB with the platform's own hash, in MiB/s,
#     beside reading the same file: natively (libcrypto) and, when the 32-bit
#     Windows build is there, under Wine (CryptoAPI);
#   - the Linux program's whole run, from the flag's click to its end, with
#     the check (websetup_trusted) against the same run without it (websetup),
#     alternately, RUNS times each, TERBO's files with its database package
#     replaced by that file, served at RATE bytes a second (1 Gbit/s).
#
#   bench/trust/trust_bench.sh
#
# Environment: BUILD_DIR (default build), WIN_BUILD_DIR (default build-win),
# MIB (256), RUNS (3), RATE (125000000).
set -euo pipefail
cd "$(dirname "$0")/../.."
src=$PWD
source scripts/lib/desktop.sh
build=${BUILD_DIR:-build}
win=${WIN_BUILD_DIR:-build-win}
mib=${MIB:-256}
runs=${RUNS:-3}
rate=${RATE:-125000000}

cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target websetup websetup_trusted vendor_server make_demo_tree demo_setup catalogue \
  server_check sha256_bench >/dev/null

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

head -c $((mib << 20)) /dev/urandom >"$work/big.bin"
echo "== SHA-256 of $mib MiB"
echo "Linux, libcrypto:"
"$build/bench/trust/sha256_bench" "$work/big.bin" 3 | grep -v '^  sha256'
if [ -x "$win/bench/trust/sha256_bench.exe" ] && command -v wine >/dev/null; then
  echo "Windows under Wine, CryptoAPI:"
  WINEDEBUG=-all wine "$win/bench/trust/sha256_bench.exe" "$(winepath -w "$work/big.bin" 2>/dev/null)" 3 2>/dev/null |
    tr -d '\r' | grep -v '^  sha256' || echo "(wine failed)"
fi

echo "== the Linux program's whole run, $((rate * 8 / 1000000)) Mbit/s, TERBO with a $mib MiB database package"
"$build/tools/vendor_server/make_demo_tree" "$work/tree" "$build/tools/vendor_server/demo_setup" >/dev/null
# The largest of TERBO's files is its database package.
cp "$work/big.bin" "$work/tree/TERBO/$(ls -S "$work/tree/TERBO" | head -1)"
BUILD_DIR=$src/$build scripts/publish.sh "$build/trust-test/private-key.pem" "$work/tree/TERBO" "$work/www" TERBO >/dev/null
"$build/tools/vendor_server/vendor_server" --root "$work/www/download" --log "$work/report.log" \
  --port-file "$work/port" --rate "$rate" >/dev/null 2>&1 &
pids+=($!)
start_xvfb "$work" || { echo "Xvfb did not start" >&2; exit 1; }
wait_for_file "$work/port" 10 || { echo "the vendor server did not start" >&2; exit 1; }

# One run of a program: seconds from the click to its end.
run() { # program
  rm -rf "${work:?}/temp" "${work:?}/bin"
  mkdir -p "$work/temp" "$work/bin"
  ln -s "$(realpath "$build/platform/posix/app/$1")" "$work/bin/TERBO.exe"
  TEMP="$work/temp" PROCESSOR_ARCHITECTURE=AMD64 http_proxy="http://127.0.0.1:$(cat "$work/port")" \
    "$work/bin/TERBO.exe" >/dev/null 2>&1 &
  local program=$! start
  find_window TERBO 20 || { echo "$1 showed no window" >&2; exit 1; }
  sleep 0.3
  start=$(date +%s.%N)
  click_flag "$window" cz
  wait "$program"
  local end
  end=$(date +%s.%N)
  # The setup program starts detached, once the installer is on its way out.
  wait_for_file "$work/temp/TERBO/setup-started.log" 5 || { echo "$1 did not complete" >&2; exit 1; }
  echo "$end - $start" | bc
}
plain=() trusted=()
for i in $(seq "$runs"); do
  plain+=("$(run websetup)")
  trusted+=("$(run websetup_trusted)")
  echo "  run $i: without the check ${plain[-1]} s, with it ${trusted[-1]} s"
done
median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }
p=$(median "${plain[@]}")
t=$(median "${trusted[@]}")
echo "median of $runs: without the check $p s, with it $t s: ratio $(echo "scale=3; $t / $p" | bc)"
echo "(each run includes the program's own pauses: about 1 s before the first file, between files and before the report)"
