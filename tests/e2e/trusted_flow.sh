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
#   list-replayed       a run took the newest list; the next is served the one before it
#   list-expired        the list published has expired
#   cut-short           the second file's body ends at half its length
#   stalled             the second file's body stops at half its length, the connection open
#   body-longer         the first file comes with far more bytes than listed, announced
#   closed-mid-file     the window is closed while the second file is on its way; then a new run
set -u
bin=$1 scenario=$2
faults=() replace="" unpublish="" expires=""
case $scenario in
  clean) ;;
  setup-changed) faults=(--flip /download/TERBO/setup.zip=1000) ;;
  first-changed) faults=(--flip /download/TERBO/comm32.zip=1000) ;;
  list-missing) unpublish=1 ;;
  list-other-product) replace=kalmiro ;;
  list-replayed) ;;
  list-expired) expires=2026-01-01T00:00:00Z ;;
  cut-short) faults=(--cut /download/TERBO/ntdll.zip=half) ;;
  stalled) faults=(--stall /download/TERBO/ntdll.zip=half) ;;
  body-longer) faults=(--grow /download/TERBO/comm32.zip=400000000) ;;
  closed-mid-file) faults=(--once --stall /download/TERBO/ntdll.zip=half) ;;
  *) echo "unknown scenario $scenario" >&2; exit 2 ;;
esac

source "$(dirname "$0")/common.sh"

# The vendor's side: the files, published with the throw-away key.
make_tree "$work/tree" || exit 1
if [ "$scenario" = list-replayed ]; then
  # Last release's list, then this one's over it.
  publish_product "$work/tree/TERBO" "$work/www" TERBO || exit 1
  cp "$work/www/download/TERBO/websetup.list" "$work/old.list"
fi
publish_product "$work/tree/TERBO" "$work/www" TERBO ${expires:+--expires "$expires"} || exit 1
publish_product "$work/tree/KALMIRO" "$work/www" kalmiro || exit 1
[ -n "$unpublish" ] && rm "$work/www/download/TERBO/websetup.list"

# The report page is the vendor server's; nginx serves the files and hands the report on.
start_report_page
start_nginx "server { listen 127.0.0.1:PORT; $site }" || exit 1

args=("${faults[@]}")
[ -n "$replace" ] && args+=(--replace "/download/TERBO/websetup.list=$work/www/download/$replace/websetup.list")
start_proxy "${args[@]}"

# A window manager, to close the window as a person would (Alt+F4).
if [ "$scenario" = closed-mid-file ]; then
  start_window_manager || { echo "the window manager did not start" >&2; exit 1; }
fi
link_program websetup_trusted

folder=$work/temp/TERBO
fetched() { grep -c "^GET /download/TERBO/$1\$" "$work/proxy.log"; }
sent() { awk -v p="/download/TERBO/$1" '$1 == "sent" && $2 == p { n += $3 } END { print n + 0 }' "$work/proxy.log"; }
nothing_aside() { # no file of the run carries ".part"
  local aside
  aside=$(cd "$folder" && ls -A | grep '\.part$')
  [ -z "$aside" ] || fail "unchecked bytes left aside: $aside"
}
expect_complete() {
  wait_gone "$program" 60 || fail "the installer did not end after handing off"
  while read -r server local; do
    cmp -s "$work/www/download/TERBO/$server" "$folder/$local" || fail "$local differs from the server's $server"
  done < <("$bin/tools/catalogue/catalogue" TERBO 64 | tail -n +2)
  cmp -s "$work/www/download/TERBO/websetup.list" "$folder/websetup.list" || fail "the list taken was not kept"
  nothing_aside
  [ "$(wc -l <"$work/report.log")" = 1 ] || fail "not exactly one report: $(cat "$work/report.log")"
  # Built without WEBSETUP_HTTPS: plain HTTP only, to port 80 of the vendor host.
  ! grep -q '^CONNECT' "$work/proxy.log" || fail "a request over TLS: $(grep '^CONNECT' "$work/proxy.log")"
  grep -q "^www.vendor.example /download/TERBO/setup.zip 20[06]$" "$work/nginx/access.log" ||
    fail "setup.zip was not asked of www.vendor.example on port 80: $(cat "$work/nginx/access.log")"
  expect_setup_started "$folder" cz
}
# The message box appears beside the main window and the run stops there.
expect_stopped() { # message
  find_box Terbo 60 "$window" || fail "no message box titled Terbo"
  sleep 1.5
  kill -0 "$program" 2>/dev/null || fail "the installer ended instead of waiting on its message"
  grep -qF -- "$1" "$work/program.log" || fail "the message was not \"$1\": $(tail -3 "$work/program.log")"
  [ ! -s "$work/report.log" ] || fail "a report was sent: $(cat "$work/report.log")"
  [ ! -e "$folder/setup-started.log" ] || fail "something was started"
  # A run before this one may have left its checked files, setup.exe among them.
  [ "$scenario" = list-replayed ] || [ ! -e "$folder/setup.exe" ] || fail "setup.exe was left in the download folder"
  nothing_aside
}

list_failed="Seznam souboru od dodavatele nelze overit"
run_program
case $scenario in
  clean)
    expect_complete
    [ "$(head -1 "$work/proxy.log")" = "GET /download/TERBO/websetup.list" ] ||
      fail "the signed list was not fetched first: $(head -3 "$work/proxy.log")"
    ;;
  setup-changed)
    expect_stopped "Soubor setup.exe neprosel kontrolou dodavatele"
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
    expect_stopped "Soubor comm32._dl neprosel kontrolou dodavatele"
    [ ! -e "$folder/comm32._dl" ] || fail "the changed first file was kept"
    [ "$(fetched ntdll.zip)" = 0 ] || fail "the run went on past the changed first file"
    ;;
  list-missing | list-other-product | list-expired)
    if [ "$scenario" = list-expired ]; then
      expect_stopped "Seznam souboru od dodavatele uz neplati. Zkontrolujte datum a cas v pocitaci"
    else
      expect_stopped "$list_failed"
    fi
    [ -z "$(ls -A "$folder")" ] || fail "something was downloaded: $(ls -A "$folder" | tr '\n' ' ')"
    [ "$(grep -c '^GET' "$work/proxy.log")" = 1 ] || fail "files were fetched: $(cat "$work/proxy.log")"
    ;;
  list-replayed)
    expect_complete
    # An attacker on the path serves last release's list, signed as it was.
    rm "$folder/setup-started.log" "$work/report.log"
    : >"$work/proxy.log"
    start_proxy --replace "/download/TERBO/websetup.list=$work/old.list"
    run_program
    expect_stopped "$list_failed"
    [ "$(grep -c '^GET' "$work/proxy.log")" = 1 ] || fail "files were fetched: $(cat "$work/proxy.log")"
    cmp -s "$work/www/download/TERBO/websetup.list" "$folder/websetup.list" || fail "the newer list kept was replaced"
    ;;
  cut-short | stalled)
    expect_stopped "error - $folder/"
    [ ! -e "$folder/ntdll._dl" ] || fail "the cut file carries its name"
    [ -s "$folder/comm32._dl" ] || fail "the file checked before it was not kept"
    ;;
  body-longer)
    expect_stopped "Soubor comm32._dl neprosel kontrolou dodavatele"
    [ ! -e "$folder/comm32._dl" ] || fail "the file carries its name"
    listed=$(stat -c %s "$work/www/download/TERBO/comm32.zip")
    # Stopped at the first bytes: what the proxy got into the socket's buffers at most.
    (($(sent comm32.zip) < listed + 16 * 1024 * 1024)) ||
      fail "the transfer went on to $(sent comm32.zip) bytes of a file listed at $listed"
    ;;
  closed-mid-file)
    wait_until 20 test -s "$folder/ntdll._dl.part" || fail "the second file never came aside"
    xdotool windowactivate --sync "$window" key alt+F4 || fail "the window could not be closed with Alt+F4"
    wait_gone "$program" 20 || fail "the installer did not end when its window was closed"
    [ -s "$folder/ntdll._dl.part" ] || fail "the interrupted file was not aside"
    [ ! -e "$folder/ntdll._dl" ] || fail "the interrupted file carries its name"
    # The next run deletes what the last one left aside, and completes.
    run_program
    expect_complete
    ;;
esac

finish "$work/proxy.log"
