#!/usr/bin/env bash
# The installer on this machine, the way a vendor ships it: sets up and
# builds, publishes the product's files with a signed list, serves them on
# loopback and runs the program built with the matching key.
#
#   scripts/demo.sh [PRODUCT] [cz|en]
#     PRODUCT  the executable's name without .exe, in any case (default TERBO;
#              try Terbo, kalmiro, zulan_festir, ...). The program keeps the
#              case of its name in the download path, so the web root is laid
#              out for the name exactly as given. A name no product has is
#              refused at once with the names there are.
#     cz|en    the flag to click (default cz)
#
# With a display the window opens and you click a flag. Without one (or with
# DEMO_HEADLESS=1) it runs under Xvfb, clicks the flag itself, keeps a few
# screenshots of each page in out/demo/ and prints what happened. Every wait
# is bounded: a run that fails or stalls ends within DEMO_TIMEOUT seconds
# (default 60) with a non-zero exit, the program's message and the last
# requests the server saw. The server's request log is out/demo/server.log.
#
# Environment:
#   DEMO_RATE       bytes a second the server sends (default 20000000), so the gauge can be seen
#   DEMO_MISSING    a server file to leave out of the web root, to see what a user sees then
#                   (e.g. DEMO_MISSING=ntdll.zip)
#   DEMO_BUILD_DIR  run the programs already built there; nothing is installed or built
#   DEMO_OUT        the demo's folder (default out/demo; emptied first)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/lib/desktop.sh
usage() {
  sed -n '6,12p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}
[ $# -le 2 ] || usage
product=${1:-TERBO}
language=${2:-cz}
case $language in cz | en) ;; *) usage ;; esac
case $product in */* | "" | -*) usage ;; esac
out=${DEMO_OUT:-out/demo}
case $out in /*) ;; *) out=$root/$out ;; esac
limit=${DEMO_TIMEOUT:-60}
targets=(websetup_trusted vendor_server make_demo_tree demo_setup catalogue server_check)

build=${DEMO_BUILD_DIR:-$root/build}
catalogue=$build/tools/catalogue/catalogue
if [ -z "${DEMO_BUILD_DIR:-}" ] && [ ! -x "$catalogue" ]; then
  scripts/install-deps.sh
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build --target catalogue >/dev/null
fi
# The name first: a name no product has ends the demo before anything is made.
if ! listing=$("$catalogue" "$product" 2>/dev/null); then
  echo "demo: no product is called $product. The names are (in any case):" >&2
  "$catalogue" | sed 's/^/  /' >&2
  exit 2
fi
code=$(head -1 <<<"$listing")
if [ -z "${DEMO_BUILD_DIR:-}" ]; then
  scripts/install-deps.sh
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build -j"$(nproc)" --target "${targets[@]}"
fi
program=$build/platform/posix/app/websetup_trusted
key=$build/trust-test/private-key.pem
if [ ! -x "$program" ] || [ ! -r "$key" ]; then
  echo "demo: no $program with its key $key (the build needs openssl)" >&2
  exit 1
fi

rm -rf "$out"
mkdir -p "$out/bin" "$out/temp"
pids=()
cleanup() { end_processes "${pids[@]}"; }
trap cleanup EXIT

echo "== the vendor's side: $code's files, published for $product.exe with the build's throw-away key"
"$build/tools/vendor_server/make_demo_tree" "$out/files" "$build/tools/vendor_server/demo_setup" >/dev/null
BUILD_DIR=$build scripts/publish.sh "$key" "$out/files/$code" "$out/www" "$product"
if [ -n "${DEMO_MISSING:-}" ]; then
  rm "$out/www/download/$product/$DEMO_MISSING" ||
    { echo "demo: $DEMO_MISSING is none of $product's files" >&2; exit 2; }
  echo "   left out on purpose: $DEMO_MISSING"
fi

"$build/tools/vendor_server/vendor_server" --root "$out/www/download" --log "$out/report.log" \
  --access-log "$out/server.log" --address 127.0.0.1 --port 0 --port-file "$out/port" \
  --rate "${DEMO_RATE:-20000000}" >"$out/server.out" 2>&1 &
server=$!
pids+=("$server")
wait_for_file "$out/port" 10 || { echo "demo: the vendor server did not start:" >&2; cat "$out/server.out" >&2; exit 1; }
port=$(cat "$out/port")
echo "== vendor server on http://127.0.0.1:$port/ (the installer reaches it through http_proxy); requests in $out/server.log"

# One binary serves every product: its file name picks the product.
cp "$program" "$out/bin/$product.exe"
export http_proxy="http://127.0.0.1:$port"
export no_proxy=""
export TEMP="$out/temp"
export ALLUSERSPROFILE="$out/allusers"
export WEBSETUP_DEMO_SETUP_LOG="$out/setup-started.log"
folder=$out/temp/$product
[ "$code" = KALMIRO ] && folder=$out/allusers/qormonitor
# The title the program gives its message boxes, and with which it writes
# their text to standard error: the name up to its first dot, the rest in lower case.
title=${product%%.*}
title=${title:0:1}$(tr '[:upper:]' '[:lower:]' <<<"${title:1}")

# The run's last words: what the program said, and what the server saw.
report_failure() { # what-happened
  echo
  echo "== FAILED: $1"
  local said
  said=$(grep "^$title: " "$out/installer.out" 2>/dev/null || true)
  if [ -n "$said" ]; then
    echo "   the installer's message:"
    while IFS= read -r line; do echo "     $line"; done <<<"$said"
    if grep -q "^$title: error - " <<<"$said"; then
      echo "   (it names only the download folder; the request that failed is among the server's below)"
    fi
  elif [ -s "$out/installer.out" ]; then
    echo "   the installer's last output ($out/installer.out):"
    tail -n 3 "$out/installer.out" | sed 's/^/     /'
  fi
  # Stopped, the server logs what was still on its way.
  kill "$server" 2>/dev/null || true
  wait_gone "$server" 5 || true
  echo "   the last requests the vendor's server saw (method, target, status, bytes; all in $out/server.log):"
  if [ -s "$out/server.log" ]; then
    tail -n 5 "$out/server.log" | sed 's/^/     /'
  else
    echo "     none"
  fi
  exit 1
}

headless=${DEMO_HEADLESS:-}
[ -z "${DISPLAY:-}" ] && headless=1
if [ -z "$headless" ]; then
  echo "== starting $product.exe: pick a language by clicking a flag"
  "$out/bin/$product.exe" 2> >(tee "$out/installer.out" >&2) || true
else
  start_xvfb "$out" || { echo "demo: Xvfb did not start" >&2; exit 1; }
  start_window_manager || { echo "demo: the window manager (openbox) did not start" >&2; exit 1; }
  echo "== starting $product.exe under Xvfb ($DISPLAY)"
  started=$SECONDS
  "$out/bin/$product.exe" >"$out/installer.out" 2>&1 &
  app=$!
  pids+=("$app")
  find_window "$code" 20 || report_failure "the installer window did not appear within 20 s"
  sleep 0.5
  import -window root "$out/1-language-page.png"
  click_flag "$window" "$language"
  echo "   language page: $out/1-language-page.png; clicked the $language flag"
  sleep 0.3
  import -window root "$out/2-progress-page.png"
  # A few shots while the files arrive, two seconds apart.
  shot=3 next=$((SECONDS + 2))
  while kill -0 "$app" 2>/dev/null; do
    if grep -q "^$title: " "$out/installer.out"; then
      sleep 0.5
      import -window root "$out/$shot-message.png" 2>/dev/null || true
      echo "   the message as the user sees it: $out/$shot-message.png"
      report_failure "the installer showed a message instead of finishing"
    fi
    if ((SECONDS - started >= limit)); then
      import -window root "$out/$shot-stalled.png" 2>/dev/null || true
      echo "   the screen at that moment: $out/$shot-stalled.png"
      report_failure "the installer had not finished after $limit s (DEMO_TIMEOUT)"
    fi
    if ((SECONDS >= next && shot <= 5)); then
      import -window root "$out/$shot-downloading.png" 2>/dev/null || true
      shot=$((shot + 1)) next=$((SECONDS + 2))
    fi
    sleep 0.2
  done
  echo "   progress page: $out/2-progress-page.png and $((shot - 3)) more while downloading"
fi

# The setup program is started detached; give it a moment to say so.
wait_for_file "$out/setup-started.log" 5 || true
echo
echo "== files fetched into $folder"
ls -l "$folder" || true
echo
echo "== report lines the vendor's server received"
cat "$out/report.log" 2>/dev/null || echo "(none)"
echo
echo "== setup program started"
if [ ! -s "$out/setup-started.log" ]; then
  echo "(not started)"
  report_failure "the installer ended without starting the setup program"
fi
cat "$out/setup-started.log"
echo
echo "== $(wc -l <"$out/server.log") requests in $out/server.log"
