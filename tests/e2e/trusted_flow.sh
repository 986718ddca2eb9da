#!/bin/bash
# The real program built with a vendor's key (websetup_trusted, with the build
# folder's throw-away key), against nginx serving a web root laid out by
# scripts/publish.sh, through a proxy that can change what passes.
#
# trusted_flow.sh BIN_DIR SCENARIO
#   clean               every file as published: the run completes
#   setup-changed       one byte of setup.zip changed on the way
#   first-changed       one byte of the first file changed on the way
#   list-missing        the server has no signed list
#   list-other-product  the proxy answers with another product's signed list
set -u
bin=$1 scenario=$2
src=$(cd "$(dirname "$0")/../.." && pwd)
flip="" replace="" unpublish=""
case $scenario in
  clean) ;;
  setup-changed) flip=/download/TERBO/setup.zip=1000 ;;
  first-changed) flip=/download/TERBO/comm32.zip=1000 ;;
  list-missing) unpublish=1 ;;
  list-other-product) replace=kalmiro ;;
  *) echo "unknown scenario $scenario" >&2; exit 2 ;;
esac

source "$(dirname "$0")/common.sh"

# The vendor's side: the files, published with the throw-away key.
"$bin/tools/vendor_server/make_demo_tree" "$work/tree" "$bin/tools/vendor_server/demo_setup" >/dev/null || exit 1
BUILD_DIR=$bin "$src/scripts/publish.sh" "$bin/trust-test/private-key.pem" "$work/tree/TERBO" "$work/www" TERBO \
  >/dev/null || exit 1
BUILD_DIR=$bin "$src/scripts/publish.sh" "$bin/trust-test/private-key.pem" "$work/tree/KALMIRO" "$work/www" kalmiro \
  >/dev/null || exit 1
[ -n "$unpublish" ] && rm "$work/www/download/TERBO/websetup.list"

# The report page is the vendor server's; nginx serves the files and hands the report on.
"$bin/tools/vendor_server/vendor_server" --root "$work/www/download" --log "$work/report.log" \
  --port-file "$work/report-port" >/dev/null 2>&1 &
pids+=($!)
wait_for_file "$work/report-port" 10 || { echo "vendor server did not start" >&2; exit 1; }
start_nginx "
  server {
    listen 127.0.0.1:PORT;
    root $work/www;
    location /programy/ { proxy_pass http://127.0.0.1:$(cat "$work/report-port"); }
  }" || exit 1

args=(--upstream "127.0.0.1:$nginx_port" --port-file "$work/proxy-port")
[ -n "$flip" ] && args+=(--flip "$flip")
[ -n "$replace" ] && args+=(--replace "/download/TERBO/websetup.list=$work/www/download/$replace/websetup.list")
"$bin/tests/tools/tamper_proxy" "${args[@]}" >"$work/proxy.log" 2>&1 &
pids+=($!)
wait_for_file "$work/proxy-port" 10 || { echo "the proxy did not start" >&2; exit 1; }

mkdir -p "$work/bin" "$work/temp"
ln -s "$(realpath "$bin/platform/posix/app/websetup_trusted")" "$work/bin/TERBO.exe"
# A request over TLS would show in the proxy's log as a CONNECT.
env TEMP="$work/temp" PROCESSOR_ARCHITECTURE=AMD64 http_proxy="http://127.0.0.1:$(cat "$work/proxy-port")" \
  https_proxy="http://127.0.0.1:$(cat "$work/proxy-port")" "$work/bin/TERBO.exe" >"$work/program.log" 2>&1 &
program=$!
pids+=($program)
find_window TERBO 20 || { echo "no window named TERBO" >&2; cat "$work/program.log" >&2; exit 1; }
sleep 0.5
click_flag "$window" cz

folder=$work/temp/TERBO
fetched() { grep -c "^GET /download/TERBO/$1\$" "$work/proxy.log"; }
if [ "$scenario" = clean ]; then
  wait_gone "$program" 60 || fail "the installer did not end after handing off"
  [ "$(head -1 "$work/proxy.log")" = "GET /download/TERBO/websetup.list" ] ||
    fail "the signed list was not fetched first: $(head -3 "$work/proxy.log")"
  while read -r server local; do
    cmp -s "$work/www/download/TERBO/$server" "$folder/$local" || fail "$local differs from the server's $server"
  done < <("$bin/tools/catalogue/catalogue" TERBO 64 | tail -n +2)
  [ "$(wc -l <"$work/report.log")" = 1 ] || fail "not exactly one report: $(cat "$work/report.log")"
  # Built without WEBSETUP_HTTPS: plain HTTP only, to port 80 of the vendor host.
  [ "$(grep -vc '^GET /' "$work/proxy.log")" = 0 ] || fail "a request not in plain HTTP: $(cat "$work/proxy.log")"
  grep -q "^www.vendor.example /download/TERBO/setup.zip 200$" "$work/nginx/access.log" ||
    fail "setup.zip was not asked of www.vendor.example on port 80: $(cat "$work/nginx/access.log")"
  [ "$(cat "$folder/setup-started.log" 2>/dev/null)" = "started cz in $folder" ] ||
    fail "setup was not started with cz in $folder: $(cat "$folder/setup-started.log" 2>/dev/null)"
else
  # The message box appears beside the main window and the run stops there.
  find_box Terbo 30 "$window" || fail "no message box titled Terbo"
  sleep 1.5
  kill -0 "$program" 2>/dev/null || fail "the installer ended instead of waiting on its message"
  [ ! -s "$work/report.log" ] || fail "a report was sent: $(cat "$work/report.log")"
  [ ! -e "$folder/setup-started.log" ] || fail "something was started"
  [ ! -e "$folder/setup.exe" ] || fail "setup.exe was left in the download folder"
  case $scenario in
    setup-changed)
      # Everything before setup.zip was checked and stays; nothing after it was fetched.
      before=1
      while read -r server local; do
        if [ "$server" = setup.zip ]; then
          before=""
        elif [ -n "$before" ]; then
          [ -s "$folder/$local" ] || fail "$local, checked before setup.zip, was not kept"
        else
          [ "$(fetched "$server")" = 0 ] || fail "the run went on past setup.zip to $server"
        fi
      done < <("$bin/tools/catalogue/catalogue" TERBO 64 | tail -n +2)
      ;;
    first-changed)
      [ ! -e "$folder/comm32._dl" ] || fail "the changed first file was kept"
      [ "$(fetched ntdll.zip)" = 0 ] || fail "the run went on past the changed first file"
      ;;
    list-*)
      [ -z "$(ls -A "$folder")" ] || fail "something was downloaded: $(ls -A "$folder" | tr '\n' ' ')"
      [ "$(grep -vc websetup.list "$work/proxy.log")" = 0 ] || fail "files were fetched: $(cat "$work/proxy.log")"
      ;;
  esac
fi

if ((failures > 0)); then
  echo "program log:" >&2
  cat "$work/program.log" >&2
  echo "requests:" >&2
  cat "$work/proxy.log" >&2
  exit 1
fi
echo "ok"
