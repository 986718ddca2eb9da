#!/bin/bash
# The real program in a download folder someone else may reach into, checked
# from outside.
#
# folder_flow.sh BIN_DIR SCENARIO
#   foreign-folder   the folder exists and belongs to another user
#   open-folder      the folder exists and its group may write to it
#   planted-links    links planted where two files go, one dangling, one to a file
#   link-in-transfer a link planted after the old copy is deleted, while the
#                    server has not answered yet
#   no-temp          no temp variable at all: the user's own cache folder
set -u
bin=$1 scenario=$2
source "$(dirname "$0")/common.sh"

make_tree "$work/tree" TERBO || exit 1
start_vendor_server "$work/tree" || exit 1
# Between the program and the server, to see its requests and hold one.
args=(--upstream "127.0.0.1:$vendor_port" --port-file "$work/proxy-port")
[ "$scenario" = link-in-transfer ] && args+=(--hold "/download/TERBO/comm32.zip=$work/planted")
start_peer "$work/proxy-port" "$work/requests.log" "$bin/tests/tools/tamper_proxy" "${args[@]}" || exit 1

temp=$work/temp
folder=$temp/TERBO
outside=$work/outside
mkdir -p "$temp" "$outside" "$work/bin"
echo keep >"$outside/victim"
environment=(TEMP="$temp")
case $scenario in
  foreign-folder)
    mkdir -m 700 "$folder"
    chown 54321:54321 "$folder"
    ;;
  open-folder) mkdir -m 770 "$folder" ;;
  planted-links)
    mkdir -m 700 "$folder"
    ln -s "$outside/new" "$folder/comm32._dl"
    ln -s "$outside/victim" "$folder/ntdll._dl"
    ;;
  link-in-transfer)
    mkdir -m 700 "$folder"
    echo "an old copy" >"$folder/comm32._dl"
    ;;
  no-temp)
    folder=$work/home/.cache/TERBO
    environment=(-u TEMP -u TMP -u TMPDIR -u XDG_CACHE_HOME HOME="$work/home")
    ;;
  *) echo "unknown scenario $scenario" >&2; exit 2 ;;
esac

if [ "$scenario" = foreign-folder ] || [ "$scenario" = open-folder ]; then
  # A window manager, to dismiss the message as a person would.
  start_window_manager || { echo "the window manager did not start" >&2; exit 1; }
fi
link_program websetup
environment+=(PROCESSOR_ARCHITECTURE=AMD64 http_proxy="http://127.0.0.1:$peer_port")

case $scenario in
  foreign-folder | open-folder)
    # The folder message, and no window behind it (xdotool matches names
    # without regard to case: the box Terbo is the only one); dismissed, the
    # program ends.
    env "${environment[@]}" "$work/bin/TERBO.exe" >"$work/program.log" 2>&1 &
    program=$!
    pids+=($program)
    find_box Terbo 30 || fail "no message box titled Terbo"
    [ "$(xdotool search --onlyvisible --name '^terbo$' 2>/dev/null | wc -l)" = 1 ] ||
      fail "the installer window was shown beside the message"
    xdotool windowactivate --sync "$box" key Return 2>/dev/null
    wait_gone "$program" 5 || fail "the program did not end after the folder message"
    [ -z "$(ls -A "$folder")" ] || fail "something was put into the folder: $(ls -A "$folder")"
    [ ! -s "$work/requests.log" ] || fail "something was requested: $(cat "$work/requests.log")"
    ;;
  *)
    start_program TERBO "${environment[@]}" "$work/bin/TERBO.exe" || exit 1
    click_flag "$window" cz
    if [ "$scenario" = link-in-transfer ]; then
      # The old copy goes before the request; the link comes while the server waits.
      wait_until 5 test ! -e "$folder/comm32._dl" || fail "the old copy was not deleted"
      ln -s "$outside/victim" "$folder/comm32._dl"
      touch "$work/planted"
      find_box Terbo 30 "$window" || fail "no error box after the planted link"
      [ "$(grep -c ntdll "$work/requests.log")" = 0 ] || fail "the download went on"
    else
      wait_gone "$program" 60 || fail "the installer did not end after handing off"
      for local in comm32._dl ntdll._dl; do
        [ -f "$folder/$local" ] && [ ! -L "$folder/$local" ] || fail "$local is not a plain file"
      done
      cmp -s "$work/tree/TERBO/comm32.zip" "$folder/comm32._dl" || fail "comm32._dl is not the server's"
      expect_setup_started "$folder" cz
    fi
    [ "$(cat "$outside/victim")" = keep ] || fail "the file a link pointed to was changed"
    [ ! -e "$outside/new" ] || fail "a file was made where a dangling link pointed"
    ;;
esac

finish
