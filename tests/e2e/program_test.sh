#!/bin/bash
# The real program published as TERBO.exe, on an Xvfb display of its own:
# the language page as it shows, then a click on the Czech flag fetching the
# nine files from the vendor server through http_proxy.
#
# program_test.sh WEBSETUP VENDOR_SERVER MAKE_DEMO_TREE DEMO_SETUP SHOT_DIR
set -u
websetup=$1 vendor_server=$2 make_demo_tree=$3 demo_setup=$4 shots=$5

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Xvfb picks a free display itself and writes its number to fd 3.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")

mkdir -p "$work/bin" "$work/temp" "$shots"
ln -s "$(realpath "$websetup")" "$work/bin/TERBO.exe"

# Pixel of the screenshot as "r,g,b".
pixel() { convert "$1" -format "%[fx:round(255*p{$2,$3}.r)],%[fx:round(255*p{$2,$3}.g)],%[fx:round(255*p{$2,$3}.b)]" info:; }

start_program() {
  env TEMP="$work/temp" PROCESSOR_ARCHITECTURE=AMD64 "$@" "$work/bin/TERBO.exe" >"$work/program.log" 2>&1 &
  program=$!
  pids+=($program)
  window=$(timeout 20 xdotool search --sync --name '^TERBO$' | head -1)
  [ -n "$window" ] || { echo "no window named TERBO" >&2; cat "$work/program.log" >&2; exit 1; }
  eval "$(xdotool getwindowgeometry --shell "$window")"  # X Y WIDTH HEIGHT
}

# ---- The language page
start_program
[ "${WIDTH}x${HEIGHT}" = 585x113 ] || fail "window is ${WIDTH}x${HEIGHT}, not 585x113"
# Nothing is drawn before the window maps; give the first paint a few tries.
for _ in $(seq 50); do
  import -window root "$shots/language_page.png"
  [ "$(pixel "$shots/language_page.png" $((X + 100)) $((Y + 90)))" = 176,216,255 ] && break
  sleep 0.1
done
shot=$shots/language_page.png
[ "$(pixel "$shot" $((X + 100)) $((Y + 90)))" = 176,216,255 ] || fail "panel is not RGB(176,216,255)"
[ "$(pixel "$shot" $((X + 500)) $((Y + 20)))" = 176,216,255 ] || fail "panel is not RGB(176,216,255) at the right"
IFS=, read -r r g b <<<"$(pixel "$shot" $((X + 243)) $((Y + 58)))"
((b > 90 && r < 70)) || fail "no Czech blue at the hoist of the first flag ($r,$g,$b)"
IFS=, read -r r g b <<<"$(pixel "$shot" $((X + 320)) $((Y + 58)))"
((r > 150 && g < 70)) || fail "no red cross in the middle of the second flag ($r,$g,$b)"
kill "$program"
wait "$program" 2>/dev/null

# ---- The download through the vendor server
"$make_demo_tree" "$work/tree" "$demo_setup" >/dev/null || { echo "make_demo_tree failed" >&2; exit 1; }
"$vendor_server" --root "$work/tree" --log "$work/report.log" --port-file "$work/port" >"$work/server.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
[ -s "$work/port" ] || { echo "vendor server did not start" >&2; exit 1; }

start_program http_proxy="http://127.0.0.1:$(cat "$work/port")"
for _ in $(seq 50); do
  import -window root "$shots/before_click.png"
  [ "$(pixel "$shots/before_click.png" $((X + 100)) $((Y + 90)))" = 176,216,255 ] && break
  sleep 0.1
done
xdotool mousemove --window "$window" 260 58 click 1
# The progress page: the gauge's black frame where the language page had none.
for _ in $(seq 50); do
  import -window root "$shots/progress_page.png"
  [ "$(pixel "$shots/progress_page.png" $((X + 10)) $((Y + 75)))" = 0,0,0 ] && break
  sleep 0.1
done
[ "$(pixel "$shots/progress_page.png" $((X + 10)) $((Y + 75)))" = 0,0,0 ] || fail "no gauge after the click"

# The program ends on its own once the setup program has been started.
for _ in $(seq 1200); do kill -0 "$program" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$program" 2>/dev/null; then
  import -window root "$shots/stuck.png"
  fail "the program did not finish (see stuck.png)"
fi

folder=$work/temp/TERBO
while read -r server local; do
  cmp -s "$work/tree/TERBO/$server" "$folder/$local" || fail "$local differs from the server's $server"
done <<'EOF'
comm32.zip comm32._dl
ntdll.zip ntdll._dl
qtintf70.zip qtintf70._dl
terbo.zip terbo._ex
Firebird-64.zip Firebird.exe
setup.zip setup.exe
fendo.zip fendo._ex
rastel.zip rastel._ex
kolvira.zip kolvira._ex
EOF
grep -q "co=stazeno (TERBO)\*" "$work/report.log" || fail "no report of a complete download: $(cat "$work/report.log")"
grep -qx "started cz in $folder" "$folder/setup-started.log" 2>/dev/null || fail "setup.exe was not started with cz"

if ((failures > 0)); then
  echo "program log:" >&2
  cat "$work/program.log" >&2
  exit 1
fi
echo "ok"
