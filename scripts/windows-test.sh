#!/usr/bin/env bash
# The Windows program: cross-built with MinGW-w64 and proved under Wine.
#
#   scripts/windows-test.sh [--no-install]
#
# 1. installs what it needs (apt-get; skipped with --no-install),
# 2. builds the vendor server natively (HELPER_DIR, default build-winhelper),
# 3. cross-builds everything into BUILD_DIR (default build-win) and checks
#    that websetup.exe imports system DLLs only,
# 4. runs the Windows unit tests under Wine (Windows 10), the system
#    information test again as Windows 2000, and the WinINet transport test
#    against the vendor server through http_proxy,
# 5. runs TERBO.exe end to end on Xvfb: Czech flag clicked, nine files in
#    %TEMP%\TERBO\, one report line, the downloaded setup.exe started with cz.
#    Screenshots land in BUILD_DIR/e2e/.
#
# Environment: BUILD_DIR, HELPER_DIR, JOBS (default: nproc), DISPLAY_NUMBER
# (default 71; the Xvfb display this script starts).
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
absolute() { case $1 in /*) echo "$1" ;; *) echo "$src/$1" ;; esac; }
win=$(absolute "${BUILD_DIR:-build-win}")
helper=$(absolute "${HELPER_DIR:-build-winhelper}")
jobs=${JOBS:-$(nproc)}
display=:${DISPLAY_NUMBER:-71}
started=$(date +%s)
step() { echo "== $* ($(($(date +%s) - started)) s)"; }

if [ "${1:-}" != "--no-install" ]; then
  step "installing"
  scripts/install-deps.sh g++-mingw-w64-x86-64 wine wine64
fi

step "native vendor server ($helper)"
cmake -S . -B "$helper" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$helper" -j"$jobs" --target vendor_server make_demo_tree

step "cross build ($win)"
cmake -S . -B "$win" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DWEBSETUP_WERROR=ON >/dev/null
cmake --build "$win" -j"$jobs"
exe=$win/platform/win32/app/websetup.exe
setup=$win/tools/vendor_server/demo_setup.exe
[ -f "$exe" ] || { echo "no websetup.exe was built" >&2; exit 1; }

step "websetup.exe imports system DLLs only"
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr '[:upper:]' '[:lower:]' | sort)
echo "$imports" | tr '\n' ' '
echo
allowed='^(advapi32|comctl32|gdi32|kernel32|msvcrt|ole32|oleaut32|shell32|shlwapi|user32|wininet|windowscodecs|ws2_32)\.dll$'
if echo "$imports" | grep -Evq "$allowed"; then
  echo "websetup.exe needs a DLL that a bare Windows lacks: $(echo "$imports" | grep -Ev "$allowed")" >&2
  exit 1
fi

# Everything below runs in a fresh prefix, on an X display of our own.
work=$win/run
rm -rf "$work"
mkdir -p "$work" "$win/e2e"
export WINEPREFIX=$win/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
}
trap cleanup EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

step "Xvfb $display and a fresh Wine prefix"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
# A persistent server first: the services wineboot starts must not inherit
# the pipes of a later test run, or ctest would wait for them.
wineserver -p
wineboot -i >"$work/wineboot.log" 2>&1
set_windows() {
  # winecfg refuses the 32-bit-only versions (win2k) in a 64-bit prefix;
  # Wine's own registry setting takes them.
  winecfg /v "$1" >/dev/null 2>&1 || wine reg add 'HKCU\Software\Wine' /v Version /d "$1" /f >/dev/null 2>&1
}
set_windows win10

step "Windows unit tests under Wine (Windows 10)"
WEBSETUP_WINDOWS_VERSION=win10 ctest --test-dir "$win" --output-on-failure --timeout 300 || fail "unit tests"

step "system information as Windows 2000"
set_windows win2k
WEBSETUP_WINDOWS_VERSION=win2k wine "$win/tests/win32/win32_sysinfo_test.exe" || fail "sysinfo as win2k"
set_windows win10

step "WinINet transport against the vendor server"
server=$work/server
mkdir -p "$server/W"
head -c 300000 /dev/urandom >"$server/W/full.bin"
head -c 300000 /dev/urandom >"$server/W/short.bin"
head -c 70000 /dev/urandom >"$server/W/nolength.bin"
"$helper/tools/vendor_server/vendor_server" --root "$server" --log "$work/transport-report.log" \
  --port-file "$work/transport-port" --fault /download/W/short.bin=cut:5000 \
  --fault /download/W/nolength.bin=nolength >"$work/transport-server.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/transport-port" ] && break; sleep 0.1; done
http_proxy="http://127.0.0.1:$(cat "$work/transport-port")" WEBSETUP_TEST_ROOT="$(winepath -w "$server")" \
  wine "$win/tests/win32/win32_transport_test.exe" || fail "WinINet transport"

step "end to end: TERBO.exe, Czech flag"
"$helper/tools/vendor_server/make_demo_tree" "$work/tree" "$setup" >/dev/null
for d in "$work/tree"/*; do [ "$(basename "$d")" = TERBO ] || rm -rf "$d"; done
"$helper/tools/vendor_server/vendor_server" --root "$work/tree" --log "$work/report.log" \
  --port-file "$work/port" >"$work/server.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
if command -v openbox >/dev/null; then
  # A window manager draws the caption for the screenshot.
  openbox >/dev/null 2>&1 &
  pids+=($!)
fi
temp_win=$(wine cmd /c 'echo %TEMP%' | tr -d '\r')
temp=$(winepath -u "$temp_win" | sed 's:/*$::')
folder=$temp/TERBO
rm -rf "$folder"
mkdir -p "$work/bin"
cp "$exe" "$work/bin/TERBO.exe"
http_proxy="http://127.0.0.1:$(cat "$work/port")" wine "$work/bin/TERBO.exe" >"$work/program.log" 2>&1 &
program=$!
pids+=($program)
# The caption is TERBO; the application window beside it is titled Terbo.
window=""
for _ in $(seq 300); do
  for w in $(xdotool search --onlyvisible --name '^TERBO$' 2>/dev/null); do
    [ "$(xdotool getwindowname "$w")" = TERBO ] && window=$w
  done
  [ -n "$window" ] && break
  sleep 0.1
done
if [ -z "$window" ]; then
  fail "no window captioned TERBO"
else
  sleep 1
  # The whole frame when a window manager drew one, else the client area.
  frame=$(xdotool getwindowgeometry --shell "$window")
  eval "$frame"
  import -window root -crop "$((WIDTH + 40))x$((HEIGHT + 60))+$((X - 20))+$((Y - 40))" +repage \
    "$win/e2e/language-page.png"
  # The Czech flag lies at 240,45 (40 x 27) in the client area.
  xdotool mousemove --window "$window" 260 58 click 1
  sleep 2.5
  import -window root -crop "$((WIDTH + 40))x$((HEIGHT + 60))+$((X - 20))+$((Y - 40))" +repage \
    "$win/e2e/progress-page.png" || true
  for _ in $(seq 1200); do kill -0 "$program" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$program" 2>/dev/null && fail "the installer did not end after handing off"
  while read -r name local; do
    cmp -s "$work/tree/TERBO/$name" "$folder/$local" || fail "$local differs from the server's $name"
  done <<'LIST'
comm32.zip comm32._dl
ntdll.zip ntdll._dl
qtintf70.zip qtintf70._dl
terbo.zip terbo._ex
Firebird-64.zip Firebird.exe
setup.zip setup.exe
fendo.zip fendo._ex
rastel.zip rastel._ex
kolvira.zip kolvira._ex
LIST
  # shellcheck disable=SC2012
  count=$(ls "$folder" | grep -vc '^setup-started.log$' || true)
  [ "$count" = 9 ] || fail "not nine files in $folder: $(ls "$folder" | tr '\n' ' ')"
  # The machine as the system-information component describes it in this prefix.
  mapfile -t f < <(wine "$win/tools/sysinfo_tool/sysinfo_tool.exe" | tr -d '\r' | sed 's/^[A-Za-z]*: //')
  expected="telefon=XXX&co=stazeno (TERBO)*${f[0]}*${f[1]}*${f[3]}*${f[2]}*${f[4]}*"
  [ "$(wc -l <"$work/report.log")" = 1 ] || fail "not exactly one report: $(cat "$work/report.log")"
  [ "$(cat "$work/report.log")" = "$expected" ] || fail "report is '$(cat "$work/report.log")', not '$expected'"
  started_line=""
  for _ in $(seq 300); do
    started_line=$(tr -d '\r' <"$folder/setup-started.log" 2>/dev/null || true)
    [ -n "$started_line" ] && break
    sleep 0.1
  done
  [ "$started_line" = "started cz in ${temp_win}\\TERBO" ] ||
    fail "setup.exe was not started with cz in ${temp_win}\\TERBO: '$started_line'"
fi

step "done"
if ((failures > 0)); then
  echo "$failures check(s) failed; logs in $work" >&2
  exit 1
fi
echo "all Windows checks passed; screenshots in $win/e2e"
