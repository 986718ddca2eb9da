#!/bin/bash
# One run of the real installer on an Xvfb display of its own, against the
# vendor server through http_proxy, checked from outside.
#
# installer_flow.sh BIN_DIR SCENARIO
#   BIN_DIR   the build folder holding websetup, vendor_server, make_demo_tree,
#             demo_setup and sysinfo_tool
#   SCENARIO  TERBO-cz    TERBO.exe, Czech flag, a complete run into a folder named in Czech
#             terbo-en    terbo.exe, English flag: the URLs keep the case, the report raises it
#             second-fails  TERBO.exe, the server cuts the second file short
#             closed-mid-download  TERBO.exe, the window closed while a file is on its way
#             proxy-auth  TERBO.exe behind tinyproxy with Basic authentication, the
#                         credentials in http_proxy
#             proxy-auth-wrong  the same with a wrong password: the first file fails
#             nginx-redirect  TERBO.exe through nginx, which answers every download
#                             with a redirect to another host name
set -u
bin=$1 scenario=$2
temp=temp
case $scenario in
  # A temporary folder with Czech letters: every file name crosses the boundary.
  TERBO-cz) exe=TERBO flag=cz fault="" temp="temp-p\u0159\u00edli\u0161" ;;
  terbo-en) exe=terbo flag=en fault="" ;;
  second-fails) exe=TERBO flag=cz fault="/download/TERBO/ntdll.zip=cut:1000" ;;
  closed-mid-download) exe=TERBO flag=cz fault="" rate=100000 ;;
  proxy-auth) exe=TERBO flag=cz fault="" peer=tinyproxy credentials=kestrami:heslo ;;
  proxy-auth-wrong) exe=TERBO flag=cz fault="" peer=tinyproxy credentials=kestrami:spatne kept="" ;;
  nginx-redirect) exe=TERBO flag=cz fault="" peer=nginx ;;
  *) echo "unknown scenario $scenario" >&2; exit 2 ;;
esac

source "$(dirname "$0")/common.sh"

# Only the folder of the program name as typed: a URL with the wrong case finds nothing.
make_tree "$work/tree" "$exe" || exit 1
args=()
[ -n "$fault" ] && args+=(--fault "$fault")
[ -n "${rate:-}" ] && args+=(--rate "$rate")
start_vendor_server "$work/tree" "${args[@]}" || exit 1
proxy="http://127.0.0.1:$vendor_port"

case ${peer:-} in
  tinyproxy)
    # Asks for Basic credentials and hands every request on to the vendor server.
    start_tinyproxy() {
      cat >"$work/tinyproxy.conf" <<CONF
Port ${ports[0]}
Listen 127.0.0.1
Timeout 60
MaxClients 20
LogFile "$work/tinyproxy.log"
PidFile "$work/tinyproxy.pid"
BasicAuth kestrami heslo
Upstream http 127.0.0.1:$vendor_port
CONF
      tinyproxy -d -c "$work/tinyproxy.conf" >"$work/tinyproxy.out" 2>&1 &
      server_pid=$!
      pids+=($server_pid)
    }
    start_on_free_ports 1 start_tinyproxy || { echo "tinyproxy did not start" >&2; cat "$work/tinyproxy.out" >&2; exit 1; }
    proxy="http://$credentials@127.0.0.1:${ports[0]}"
    ;;
  nginx)
    # www.vendor.example moves every download to mirror.vendor.example, which
    # serves the tree itself; the report page goes on to the vendor server.
    mkdir -p "$work/mirror"
    ln -s "$work/tree" "$work/mirror/download"
    start_nginx "
  server {
    listen 127.0.0.1:PORT;
    server_name www.vendor.example;
    location /download/ { return 302 http://mirror.vendor.example\$request_uri; }
    location / { proxy_pass http://127.0.0.1:$vendor_port; }
  }
  server {
    listen 127.0.0.1:PORT;
    server_name mirror.vendor.example;
    root $work/mirror;
  }" || exit 1
    proxy="http://127.0.0.1:$nginx_port"
    ;;
esac

temp=$work/$(printf "$temp")
mkdir -p "$work/bin" "$temp"
if [ "$scenario" = closed-mid-download ]; then
  # A window manager, to close the window as a person would (Alt+F4).
  start_window_manager || { echo "the window manager did not start" >&2; exit 1; }
fi
ln -s "$(realpath "$bin/platform/posix/app/websetup")" "$work/bin/$exe.exe"
caption=$(echo "$exe" | tr '[:lower:]' '[:upper:]')
start_program "$caption" TEMP="$temp" PROCESSOR_ARCHITECTURE=AMD64 http_proxy="$proxy" "$work/bin/$exe.exe" || exit 1
click_flag "$window" "$flag"

folder=$temp/$exe
if [ "$scenario" = closed-mid-download ]; then
  # The paced server keeps the first file (over 100 KiB) coming for a second.
  wait_until 5 test -e "$folder/comm32._dl" || fail "the first download did not start"
  xdotool windowactivate --sync "$window" key alt+F4 || fail "the window could not be closed with Alt+F4"
  status=""
  if wait_gone "$program" 10; then
    wait "$program"
    status=$?
  fi
  [ "$status" = 0 ] || fail "the installer did not end cleanly when closed (status '${status}')"
  [ ! -s "$work/report.log" ] || fail "a report was sent"
  [ ! -e "$folder/setup-started.log" ] || fail "something was started"
elif [ -z "$fault" ] && [ -z "${kept+set}" ]; then
  wait_gone "$program" 60 || fail "the installer did not end after handing off"
  # The product's files as the catalogue has them for a 64-bit machine.
  while read -r server local; do
    cmp -s "$work/tree/$exe/$server" "$folder/$local" || fail "$local differs from the server's $server"
  done < <("$bin/tools/catalogue/catalogue" "$exe" 64 | tail -n +2)
  [ "$(ls "$folder" | grep -vc '^setup-started.log$')" = 9 ] || fail "not exactly nine files: $(ls "$folder")"
  # The machine as the system-information component describes it here.
  info=$("$bin/tools/sysinfo_tool/sysinfo_tool" | sed 's/^[A-Za-z]*: //')
  mapfile -t f <<<"$info"
  expected="telefon=XXX&co=stazeno ($caption)*${f[0]}*${f[1]}*${f[3]}*${f[2]}*${f[4]}*"
  [ "$(wc -l <"$work/report.log")" = 1 ] || fail "not exactly one report: $(cat "$work/report.log")"
  [ "$(cat "$work/report.log")" = "$expected" ] || fail "report is '$(cat "$work/report.log")', not '$expected'"
  expect_setup_started "$folder" "$flag"
  if [ "${peer:-}" = nginx ]; then
    # Every download went through the redirect.
    [ "$(grep -c '^www\.vendor\.example /download/TERBO/.* 302$' "$work/nginx/access.log")" = 9 ] ||
      fail "not nine redirects: $(cat "$work/nginx/access.log")"
    [ "$(grep -c '^mirror\.vendor\.example /download/TERBO/.* 200$' "$work/nginx/access.log")" = 9 ] ||
      fail "not nine downloads from the mirror: $(cat "$work/nginx/access.log")"
  fi
else
  # The error box appears beside the main window and the run stops there.
  find_box Terbo 30 "$window" || fail "no message box titled Terbo"
  sleep 2
  kill -0 "$program" 2>/dev/null || fail "the installer ended instead of waiting on its message"
  # The files before the failed one stay; nothing after it is fetched.
  for local in ${kept-comm32._dl}; do
    cmp -s "$work/tree/$exe/${local%._dl}.zip" "$folder/$local" || fail "$local was not kept"
  done
  [ ! -e "$folder/qtintf70._dl" ] || fail "the download went on past the failure"
  if [ -n "${kept+set}" ] && [ -z "$kept" ]; then
    [ -z "$(ls -A "$folder")" ] || fail "something was saved: $(ls -A "$folder" | tr '\n' ' ')"
  fi
  [ ! -s "$work/report.log" ] || fail "a report was sent: $(cat "$work/report.log")"
  [ ! -e "$folder/setup-started.log" ] || fail "something was started"
fi

finish
