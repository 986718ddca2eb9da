#!/usr/bin/env bash
# The installer's main job on this machine: sets up and builds, serves the
# vendor's download tree on loopback, and runs the installer against it.
#
#   scripts/demo.sh [PRODUCT]      PRODUCT is the executable's name without
#                                  .exe (default TERBO; try terbo, kalmiro,
#                                  zulan_festir, ...)
#
# With a display the window opens and you click a flag. Without one (or with
# DEMO_HEADLESS=1) it runs under Xvfb, clicks the Czech flag itself, saves
# screenshots in out/demo/ and prints what happened. The server paces its
# answers (DEMO_RATE bytes a second, default 20 MB/s) so the gauge can be seen.
set -euo pipefail
cd "$(dirname "$0")/.."
product="${1:-TERBO}"
root="$PWD"
out="$root/out/demo"

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target websetup vendor_server make_demo_tree demo_setup

rm -rf "$out"
mkdir -p "$out/bin" "$out/temp"
echo "== laying out the vendor's download tree"
build/tools/vendor_server/make_demo_tree "$out/tree" build/tools/vendor_server/demo_setup

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT

build/tools/vendor_server/vendor_server --root "$out/tree" --log "$out/report.log" --address 127.0.0.1 --port 0 \
  --port-file "$out/port" --rate "${DEMO_RATE:-20000000}" >"$out/server.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$out/port" ] && break; sleep 0.1; done
port=$(cat "$out/port")
echo "== vendor server on http://127.0.0.1:$port/ (the installer reaches it through http_proxy)"

# One binary serves every product: its file name picks the product.
cp build/platform/posix/app/websetup "$out/bin/$product.exe"

export http_proxy="http://127.0.0.1:$port"
export no_proxy=""
export TEMP="$out/temp"
export ALLUSERSPROFILE="$out/allusers"
export WEBSETUP_DEMO_SETUP_LOG="$out/setup-started.log"

headless="${DEMO_HEADLESS:-}"
[ -z "${DISPLAY:-}" ] && headless=1

if [ -z "$headless" ]; then
  echo "== starting $product.exe: pick a language by clicking a flag"
  "$out/bin/$product.exe"
else
  display=":$((90 + RANDOM % 100))"
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  export DISPLAY="$display"
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  openbox >/dev/null 2>&1 &
  pids+=($!)
  sleep 0.5
  echo "== starting $product.exe under Xvfb ($display)"
  "$out/bin/$product.exe" >"$out/installer.out" 2>&1 &
  app=$!
  pids+=($app)
  caption=$(echo "$product" | tr '[:lower:]' '[:upper:]')
  win=""
  for _ in $(seq 100); do
    win=$(xdotool search --name "^$caption\$" 2>/dev/null | head -1) && [ -n "$win" ] && break
    sleep 0.1
  done
  [ -n "$win" ] || { echo "the installer window did not appear"; cat "$out/installer.out"; exit 1; }
  sleep 0.5
  import -window root "$out/1-language-page.png"
  echo "   language page: $out/1-language-page.png"
  # The Czech flag sits at 240,45 (40x27) in the window's client area.
  xdotool mousemove --window "$win" 260 58 click 1
  sleep 0.3
  import -window root "$out/2-progress-page.png"
  shot=3
  while kill -0 "$app" 2>/dev/null; do
    import -window root "$out/$shot-downloading.png" 2>/dev/null || true
    shot=$((shot + 1))
    sleep 0.25
  done
  echo "   progress page: $out/2-progress-page.png and $out/3-downloading.png ... $out/$((shot - 1))-downloading.png"
fi

folder="$out/temp/$product"
[ "$(echo "$product" | tr '[:lower:]' '[:upper:]')" = KALMIRO ] && folder="$out/allusers/qormonitor"
echo
echo "== files fetched into $folder"
ls -l "$folder" || true
echo
echo "== report lines the vendor's server received"
cat "$out/report.log" 2>/dev/null || echo "(none)"
echo
echo "== setup program started"
cat "$out/setup-started.log" 2>/dev/null || echo "(not started)"
