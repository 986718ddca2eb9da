#!/bin/bash
# The real program published as TERBO.exe, on an Xvfb display of its own:
# the language page as it shows, at 96 dpi and at the desktop's 144.
# (Whole runs: installer_flow.sh.)
#
# program_test.sh WEBSETUP SHOT_DIR
set -u
websetup=$1 shots=$2

source "$(dirname "$0")/common.sh"

mkdir -p "$work/bin" "$work/temp" "$shots"
ln -s "$(realpath "$websetup")" "$work/bin/TERBO.exe"

# Pixel of the screenshot as "r,g,b".
pixel() { convert "$1" -format "%[fx:round(255*p{$2,$3}.r)],%[fx:round(255*p{$2,$3}.g)],%[fx:round(255*p{$2,$3}.b)]" info:; }

show_page() {
  start_program TERBO TEMP="$work/temp" PROCESSOR_ARCHITECTURE=AMD64 "$work/bin/TERBO.exe" || exit 1
  eval "$(xdotool getwindowgeometry --shell "$window")"  # X Y WIDTH HEIGHT
}

# ---- The language page
show_page
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
# What a taskbar shows for it is the program's title; the caption stays TERBO.
prop() { xprop -id "$window" "$1" | sed -n 's/^[^=]* = "\(.*\)"$/\1/p'; }
[ "$(prop _NET_WM_ICON_NAME)" = Terbo ] || fail "icon name is '$(prop _NET_WM_ICON_NAME)', not Terbo"
[ "$(prop WM_ICON_NAME)" = Terbo ] || fail "WM_ICON_NAME is '$(prop WM_ICON_NAME)', not Terbo"
[ "$(prop _NET_WM_NAME)" = TERBO ] || fail "caption is '$(prop _NET_WM_NAME)', not TERBO"

kill "$program"
wait "$program" 2>/dev/null

# ---- The same page at 144 dpi, the desktop's Xft.dpi: half as large again,
# the flags scaled to fill their larger places.
xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "$(printf 'Xft.dpi:\t144\n')"
show_page
[ "${WIDTH}x${HEIGHT}" = 878x170 ] || fail "window at 144 dpi is ${WIDTH}x${HEIGHT}, not 878x170"
shot=$shots/language_page_144dpi.png
for _ in $(seq 50); do
  import -window root "$shot"
  [ "$(pixel "$shot" $((X + 150)) $((Y + 135)))" = 176,216,255 ] && break
  sleep 0.1
done
# The Czech flag at 360,68, 60 x 41: blue at the hoist, white and red out at the fly.
IFS=, read -r r g b <<<"$(pixel "$shot" $((X + 362)) $((Y + 88)))"
((b > 90 && r < 70)) || fail "at 144 dpi no Czech blue at the hoist ($r,$g,$b)"
IFS=, read -r r g b <<<"$(pixel "$shot" $((X + 417)) $((Y + 70)))"
((r > 200 && g > 200 && b > 200)) || fail "at 144 dpi no white at the fly's top ($r,$g,$b)"
IFS=, read -r r g b <<<"$(pixel "$shot" $((X + 417)) $((Y + 106)))"
((r > 150 && g < 90 && b < 90)) || fail "at 144 dpi no red at the fly's foot ($r,$g,$b)"
kill "$program"
wait "$program" 2>/dev/null

finish
