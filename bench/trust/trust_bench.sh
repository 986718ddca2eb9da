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
targets=(websetup websetup_trusted sha256_bench)
source "$(dirname "$0")/../common.sh"
win=${WIN_BUILD_DIR:-build-win}
mib=${MIB:-256}
runs=${RUNS:-3}
rate=${RATE:-125000000}

head -c $((mib << 20)) /dev/urandom >"$work/big.bin"
echo "== SHA-256 of $mib MiB"
echo "Linux, libcrypto:"
"$bin/bench/trust/sha256_bench" "$work/big.bin" 3 | grep -v '^  sha256'
if [ -x "$win/bench/trust/sha256_bench.exe" ] && command -v wine >/dev/null; then
  echo "Windows under Wine, CryptoAPI:"
  WINEDEBUG=-all wine "$win/bench/trust/sha256_bench.exe" "$(winepath -w "$work/big.bin" 2>/dev/null)" 3 2>/dev/null |
    tr -d '\r' | grep -v '^  sha256' || echo "(wine failed)"
fi

echo "== the Linux program's whole run, $((rate * 8 / 1000000)) Mbit/s, TERBO with a $mib MiB database package"
bench_tree "$work/big.bin"
start_vendor_server "$work/www/download" --rate "$rate"
run() { timed_run "$1" http_proxy="http://127.0.0.1:$vendor_port"; }
compare_runs websetup "without the check" websetup_trusted "with it"
