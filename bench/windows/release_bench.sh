#!/usr/bin/env bash
# Figures of the release, under Wine as 32-bit Windows (run by hand):
#   - the size of websetup.exe,
#   - the time from its start to its window shown (median of RUNS),
#   - the download throughput of the real program, its window live, against
#     the vendor server with a file of MIB MiB (TERBO's first file), beside a
#     bare WinINet loop of 1025-byte InternetReadFile calls on the same file,
#     before and after it, and the ratio,
#   - where the difference goes: a posted-message round trip between two
#     threads, and a hand-off through the program's own UI queue (with and
#     without the progress handler's ProcessMessages), per call.
#
#   bench/windows/release_bench.sh
#
# Environment: BUILD_DIR (default build-win, the 32-bit cross build),
# HELPER_DIR (default build-winhelper, the native vendor server), MIB (256),
# RUNS (5), JOBS (nproc), WINEARCH (win32; win64 runs the 32-bit program under
# WoW64).
set -euo pipefail
cd "$(dirname "$0")/../.."
src=$PWD
source scripts/lib/desktop.sh
source scripts/lib/vendor.sh
absolute() { case $1 in /*) echo "$1" ;; *) echo "$src/$1" ;; esac; }
win=$(absolute "${BUILD_DIR:-build-win}")
helper=$(absolute "${HELPER_DIR:-build-winhelper}")
mib=${MIB:-256}
runs=${RUNS:-5}
jobs=${JOBS:-$(nproc)}
export WINEARCH=${WINEARCH:-win32}

cmake -S . -B "$helper" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$helper" -j"$jobs" --target vendor_server make_demo_tree >/dev/null
cmake -S . -B "$win" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$win" -j"$jobs" --target websetup wininet_loop demo_setup >/dev/null
exe=$win/platform/win32/app/websetup.exe
loop=$win/bench/windows/wininet_loop.exe

work=$win/bench-run
rm -rf "$work"
mkdir -p "$work/bin"
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
pids=()
cleanup() {
  end_processes "${pids[@]}"
  wineserver -k 2>/dev/null || true
}
trap cleanup EXIT
now() { date +%s.%N; }
elapsed() { echo "$2 - $1" | bc -l; }

start_xvfb "$work" || { echo "Xvfb did not start" >&2; exit 1; }
mkdir -p "$WINEPREFIX"
wineserver -p
wineboot -i >/dev/null 2>&1

cp "$exe" "$work/bin/TERBO.exe"
echo "websetup.exe: $(stat -c %s "$exe") bytes ($(($(stat -c %s "$exe") / 1024)) KiB), $(file -b "$exe" | cut -d, -f1)"

# Start to window, with no server: the window shows before any download.
times=()
for i in $(seq 0 "$runs"); do
  t0=$(now)
  wine "$work/bin/TERBO.exe" >/dev/null 2>&1 &
  program=$!
  # Polled finely: the time to the window is the figure.
  WAIT_STEP=0.01 find_window TERBO 30 || { echo "no window" >&2; exit 1; }
  t1=$(now)
  xdotool key --window "$window" alt+F4 >/dev/null 2>&1 || true
  wait "$program" 2>/dev/null || true
  ((i == 0)) || times+=("$(elapsed "$t0" "$t1")") # the first run warms the prefix up
done
median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((${#times[@]} + 1) / 2))p")
echo "start to window: median $(printf '%.3f' "$median") s of $runs runs ($(printf '%.3f ' "${times[@]}")s)"

# TERBO's tree with a big first file.
bin=$helper
make_tree "$work/tree" TERBO "$win/tools/vendor_server/demo_setup.exe"
head -c "$((mib * 1024 * 1024))" /dev/urandom >"$work/tree/TERBO/comm32.zip"
size=$(stat -c %s "$work/tree/TERBO/comm32.zip")
start_vendor_server "$work/tree"
http_proxy=http://127.0.0.1:$vendor_port
export http_proxy
url=www.vendor.example/download/TERBO/comm32.zip

bare() {
  local line
  line=$(wine "$loop" get "$url" "$(winepath -w "$work/loop.bin")" 1025 | tr -d '\r')
  cmp -s "$work/loop.bin" "$work/tree/TERBO/comm32.zip" || { echo "the loop's copy differs" >&2; exit 1; }
  rm -f "$work/loop.bin"
  echo "$line" | sed -n 's/.*MiB\/s //p'
}
loop1=$(bare)
echo "bare WinINet loop, 1025-byte reads: $loop1 MiB/s"

# The program: from the moment its first file appears until it is whole.
temp=$(winepath -u "$(wine cmd /c 'echo %TEMP%' | tr -d '\r')" | sed 's:/*$::')
target=$temp/TERBO/comm32._dl
rm -rf "$temp/TERBO"
wine "$work/bin/TERBO.exe" >/dev/null 2>&1 &
program=$!
pids+=("$program")
find_window TERBO 30 || { echo "no window" >&2; exit 1; }
click_flag "$window" cz
while [ ! -e "$target" ]; do sleep 0.005; done
t0=$(now)
while [ "$(stat -c %s "$target" 2>/dev/null || echo 0)" -lt "$size" ]; do sleep 0.01; done
t1=$(now)
program_rate=$(echo "$size / $(elapsed "$t0" "$t1") / 1048576" | bc -l)
wait_gone "$program" 60 || true
cmp -s "$target" "$work/tree/TERBO/comm32.zip" || echo "warning: the program's copy differs" >&2
printf 'the program, window live: %.2f MiB/s (%s bytes in %.2f s)\n' "$program_rate" "$size" "$(elapsed "$t0" "$t1")"

loop2=$(bare)
echo "bare WinINet loop again: $loop2 MiB/s"
mean=$(echo "($loop1 + $loop2) / 2" | bc -l)
ratio=$(echo "$program_rate / $mean" | bc -l)
printf 'ratio program / loop: %.2f\n' "$ratio"

# Where the difference goes: per 1025-byte chunk, the program's time beyond
# the loop's, beside the bare cost of one posted-message round trip.
chunks=$(((size + 1024) / 1025))
extra=$(echo "($size / $program_rate - $size / $mean) / 1048576 / $chunks * 1000000" | bc -l)
printf 'per chunk (%d chunks): the program spends %.1f us more than the loop\n' "$chunks" "$extra"
mean_us() { wine "$loop" "$@" | tr -d '\r' | sed -n 's/.*mean us //p'; }
echo "  a posted-message round trip between two threads: $(mean_us roundtrip 20000) us"
echo "  a hand-off through the program's UI queue, woken by a posted message: $(mean_us handoff 20000) us"
echo "  the same, the call emptying the message queue (ProcessMessages): $(mean_us handoff 20000 peek) us"
