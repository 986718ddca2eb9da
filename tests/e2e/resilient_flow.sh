#!/bin/bash
# The real program built with the build folder's throw-away key, three more
# tries of each file and a mirror host (websetup_resilient), against nginx
# serving the vendor's host and the mirror (server blocks of their own, the
# same published tree), through a proxy that plays a bad line.
#
# resilient_flow.sh BIN_DIR SCENARIO
#   cut-once      every file's first transfer is cut at half its length: the run
#                 completes, and the bytes passed stay near the files' sizes
#   busy-once     the second file is answered 503 once
#   stall-once    the second file stops at half its length once, the connection open
#   second-run    a run that stopped at the seventh file (missing on both hosts),
#                 then one that finds it: only the list and the last three files
#   republished   the vendor publishes a changed file during the run: the run
#                 starts again under the new list and completes
#   mirror        the vendor's host lacks a file: it comes from the mirror, and
#                 the report goes to the vendor's host
#   mirror-back   as mirror, and the mirror lacks the next file: it comes from
#                 the vendor's host
#   retry-now     the list is answered 503 with Retry-After: 0 once
#   list-newline  the list arrives without its last line end; the next run,
#                 against the server as it is, completes too
set -u
bin=$1 scenario=$2
source "$(dirname "$0")/common.sh"

vendor_side
cp -r "$work/www" "$work/mirror"
mapfile -t files < <("$bin/tools/catalogue/catalogue" TERBO 64 | tail -n +2)
start_report_page
start_nginx "
  server { listen 127.0.0.1:PORT default_server; server_name www.vendor.example; $site }
  server { listen 127.0.0.1:PORT; server_name mirror.vendor.example; root $work/mirror; }" || exit 1
link_program websetup_resilient
folder=$work/temp/TERBO
expect_complete() { # seconds
  wait_gone "$program" "$1" || fail "the installer did not end after handing off"
  local server local_name
  for line in "${files[@]}"; do
    read -r server local_name <<<"$line"
    cmp -s "$work/tree/TERBO/$server" "$folder/$local_name" ||
      fail "$local_name differs from the server's $server"
  done
  [ -z "$(cd "$folder" && ls -A | grep '\.part$')" ] || fail "unchecked bytes left aside"
  [ "$(wc -l <"$work/report.log")" = 1 ] || fail "not exactly one report: $(cat "$work/report.log")"
  expect_setup_started "$folder" cz
}
gets() { grep '^GET /download/TERBO/' "$work/proxy.log" | sed 's:^GET /download/TERBO/::'; }

case $scenario in
  cut-once)
    cuts=()
    for line in "${files[@]}"; do cuts+=(--cut "/download/TERBO/${line%% *}=half"); done
    start_proxy --once "${cuts[@]}"
    run_program
    expect_complete 120
    # Resumed: each file's second transfer brought only the rest.
    sizes=0
    for line in "${files[@]}"; do sizes=$((sizes + $(stat -c %s "$work/www/download/TERBO/${line%% *}"))); done
    passed=$(awk '$1 == "sent" && $2 ~ /\.zip$/ { n += $3 } END { print n + 0 }' "$work/proxy.log")
    ((passed * 10 <= sizes * 11)) || fail "the proxy passed $passed bytes for files of $sizes bytes"
    [ "$(grep -c '^GET .*\.zip$' "$work/proxy.log")" = 18 ] || fail "not two transfers a file: $(gets | tr '\n' ' ')"
    ;;
  busy-once | stall-once)
    if [ "$scenario" = busy-once ]; then
      start_proxy --once --status /download/TERBO/ntdll.zip=503
    else
      start_proxy --once --stall /download/TERBO/ntdll.zip=half
    fi
    run_program
    expect_complete 150
    [ "$(gets | grep -c '^ntdll.zip$')" = 2 ] || fail "ntdll.zip was not fetched twice: $(gets | tr '\n' ' ')"
    ;;
  second-run)
    # The seventh file is on neither host.
    seventh=$(awk 'NR == 7 { print $1 }' <<<"$(printf '%s\n' "${files[@]}")")
    mv "$work/www/download/TERBO/$seventh" "$work/$seventh"
    rm "$work/mirror/download/TERBO/$seventh"
    start_proxy
    run_program
    find_box Terbo 120 "$window" || fail "the first run did not stop at the seventh file"
    kill "$program" 2>/dev/null
    wait_gone "$program" 10
    # It is published again (as it was); the next run fetches the rest only.
    mv "$work/$seventh" "$work/www/download/TERBO/$seventh"
    cp "$work/www/download/TERBO/$seventh" "$work/mirror/download/TERBO/$seventh"
    : >"$work/proxy.log"
    run_program
    expect_complete 60
    expected=$(printf '%s\n' websetup.list "$(awk 'NR >= 7 { print $1 }' <<<"$(printf '%s\n' "${files[@]}")")")
    [ "$(gets)" = "$expected" ] || fail "the second run fetched $(gets | tr '\n' ' '), not $(tr '\n' ' ' <<<"$expected")"
    ;;
  republished)
    # The fourth file is held on its way while the vendor publishes a new version of it.
    fourth=$(awk 'NR == 4 { print $1 }' <<<"$(printf '%s\n' "${files[@]}")")
    start_proxy --once --hold "/download/TERBO/$fourth=$work/published"
    run_program
    wait_until 30 grep -q "^GET /download/TERBO/$fourth\$" "$work/proxy.log" || fail "the fourth file was not asked for"
    echo "a new version" >>"$work/tree/TERBO/$fourth"
    publish_product "$work/tree/TERBO" "$work/www" TERBO || fail "could not publish again"
    cp -r "$work/www/download" "$work/mirror/"
    touch "$work/published"
    expect_complete 90
    [ "$(gets | grep -c '^websetup.list$')" = 2 ] || fail "the list was not fetched again: $(gets | tr '\n' ' ')"
    cmp -s "$work/www/download/TERBO/websetup.list" "$folder/websetup.list" || fail "the new list was not kept"
    ;;
  retry-now)
    start_proxy --once --status /download/TERBO/websetup.list=503,0
    run_program
    expect_complete 60
    [ "$(gets | grep -c '^websetup.list$')" = 2 ] || fail "the list was not asked for twice: $(gets | tr '\n' ' ')"
    ;;
  list-newline)
    head -c -1 "$work/www/download/TERBO/websetup.list" >"$work/list-cut"
    start_proxy --replace /download/TERBO/websetup.list="$work/list-cut"
    run_program
    expect_complete 60
    start_proxy
    : >"$work/report.log"
    rm -f "$folder/setup-started.log"
    run_program
    expect_complete 60
    ;;
  mirror-back)
    rm "$work/www/download/TERBO/ntdll.zip" "$work/mirror/download/TERBO/qtintf70.zip"
    start_proxy
    run_program
    expect_complete 60
    grep -q '^www\.vendor\.example /download/TERBO/qtintf70\.zip 200$' "$work/nginx/access.log" ||
      fail "the vendor's host did not serve the file the mirror lacks"
    ;;
  mirror)
    rm "$work/www/download/TERBO/ntdll.zip"
    start_proxy
    run_program
    expect_complete 60
    grep -q '^www\.vendor\.example /download/TERBO/ntdll\.zip 404$' "$work/nginx/access.log" ||
      fail "the vendor's host was not asked first"
    grep -q '^mirror\.vendor\.example /download/TERBO/ntdll\.zip 200$' "$work/nginx/access.log" ||
      fail "the mirror did not serve the file"
    grep -q '^www\.vendor\.example /programy/setup\.asp?' "$work/nginx/access.log" ||
      fail "the report did not reach the vendor's host: $(grep programy "$work/nginx/access.log")"
    ;;
  *) echo "unknown scenario $scenario" >&2; exit 2 ;;
esac

finish "$work/proxy.log"
