# shellcheck shell=bash
# Sourced by scripts/windows-test.sh: TERBO.exe run end to end under Wine on
# Xvfb, the Czech flag clicked, checked from outside.

# The prefix's screen and TEMP as they were before a run changed them.
reset_variant() { # temp
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
  wine reg add 'HKCU\Environment' /v TEMP /d "$1" /f >/dev/null 2>&1
}

# One run. KIND is
#   plain          the program as built, nine files, one report line naming
#                  Windows 10's real build, setup.exe started with cz
#   dpi144         the same on a screen of 144 dpi: the window half as large
#                  again, the scaled flag clicked near its far corner
#   cyrillic_temp  the same with TEMP in a folder named in Cyrillic letters,
#                  which no Czech or Western code page has
#   trusted        the signed release built with the vendor's key, against
#                  the published tree: the signed list first, then as plain
#   tampered       the same with one byte of setup.zip changed on the way:
#                  the message, nothing reported, nothing started or kept
#   expired        the same against a tree whose list has expired: the
#                  message that asks to check the clock, nothing fetched
#   resumed        the program built with more tries and the cross build's
#                  key, every file's first transfer cut at half: each file is
#                  continued from where it stopped, and the run completes
#   https          the program built with WEBSETUP_HTTPS and the build
#                  folder's key, over TLS through the test's CONNECT proxy
#                  to nginx with the test's certificate, whose authority Wine
#                  trusts in a private mount namespace: as trusted, and
#                  nothing in plain HTTP
end_to_end() { # machine width kind
  local machine=$1 width=$2 kind=$3
  local name=${machine}_$kind shots=$win/e2e/$machine/$kind bin=$run/$machine/bin-$kind
  local program_exe=$exe root=$tree dpi=96 temp_win temp folder program
  mkdir -p "$shots" "$bin"
  case $kind in
    trusted | tampered) program_exe=$rel/dist/TERBO.exe root=$www/download ;;
    expired) program_exe=$rel/dist/TERBO.exe root=$www_expired/download ;;
    resumed) program_exe=$win/platform/win32/app/websetup_resilient.exe root=$www_resilient/download ;;
    https) program_exe=$win/platform/win32/app/websetup_https.exe root=$www_https/download ;;
  esac
  start_server "e2e_$name" "$root"
  local port_var=port_e2e_$name
  local faults=() server _
  [ "$kind" = tampered ] && faults=(--flip /download/TERBO/setup.zip=1000)
  if [ "$kind" = resumed ]; then
    faults=(--once)
    while read -r server _; do faults+=(--cut "/download/TERBO/$server=half"); done \
      < <("$helper/tools/catalogue/catalogue" TERBO "$width" | tail -n +2)
  fi
  if [ "$kind" = https ]; then
    start_tls_front "proxy_$name" "${!port_var}"
  else
    start_proxy "proxy_$name" "${!port_var}" "${faults[@]}"
  fi
  port_var=port_proxy_$name
  temp_win=$(wine cmd /c 'echo %TEMP%' | tr -d '\r')
  temp=$(winepath -u "$temp_win" | sed 's:/*$::')
  case $kind in
    dpi144)
      dpi=144
      wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
      ;;
    cyrillic_temp)
      # A user's folder, "Юрий Петров" in UTF-8; Z: is the root folder.
      temp=$run/$machine/$'\xd0\xae\xd1\x80\xd0\xb8\xd0\xb9 \xd0\x9f\xd0\xb5\xd1\x82\xd1\x80\xd0\xbe\xd0\xb2'
      mkdir -p "$temp"
      LC_ALL=C.UTF-8 wine reg add 'HKCU\Environment' /v TEMP /d "Z:${temp//\//\\}" /f >/dev/null 2>&1
      ;;
  esac
  folder=$temp/TERBO
  rm -rf "$folder"
  cp "$program_exe" "$bin/TERBO.exe"
  if [ "$kind" = https ]; then
    WEBSETUP_TLS_PROXY=127.0.0.1:${!port_var} WEBSETUP_TLS_BUNDLE=$pki/bundle.pem \
      with_test_authority wine "$bin/TERBO.exe" >"$run/$machine/program-$kind.log" 2>&1 &
  else
    http_proxy="http://127.0.0.1:${!port_var}" wine "$bin/TERBO.exe" >"$run/$machine/program-$kind.log" 2>&1 &
  fi
  program=$!
  pids+=("$program")
  # The caption is TERBO; the application window beside it is titled Terbo.
  if ! find_window TERBO 30; then
    fail "$name: no window captioned TERBO"
    reset_variant "$temp_win"
    return
  fi
  sleep 1
  screenshot "$window" "$shots/language-page.png"
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$window")"
  # The client area, 585 x 113 at 96 dpi, scaled by dpi / 96.
  [ "${WIDTH}x$HEIGHT" = "$(((585 * dpi + 48) / 96))x$(((113 * dpi + 48) / 96))" ] ||
    fail "$name: the client area is ${WIDTH}x$HEIGHT at $dpi dpi"
  # On a larger screen the Czech flag (240,45, 40 x 27 at 96 dpi) is clicked
  # near its far corner, which only the scaled flag reaches.
  if ((dpi == 96)); then
    click_flag "$window" cz
  else
    xdotool mousemove --window "$window" $(((276 * dpi + 48) / 96)) $(((69 * dpi + 48) / 96)) click 1
  fi
  sleep 2.5
  screenshot "$window" "$shots/progress-page.png"
  local report=$run/e2e_$name-report.log requests=$run/proxy_$name-requests.log
  if [ "$kind" = tampered ]; then
    find_box Terbo 60 "$window" || fail "$name: no message after setup.zip changed on the way"
    sleep 1
    screenshot "$box" "$shots/message.png"
    [ ! -s "$report" ] || fail "$name: a report was sent: $(cat "$report")"
    [ ! -e "$folder/setup.exe" ] || fail "$name: the changed setup.exe was kept"
    [ ! -e "$folder/setup-started.log" ] || fail "$name: something was started"
    # Nothing after setup.zip was fetched.
    local after
    after=$("$helper/tools/catalogue/catalogue" TERBO "$width" | tail -n +2 | sed -n '/^setup\.zip /,$p' | sed 1d)
    while read -r server _; do
      grep -q " /download/TERBO/$server\$" "$requests" && fail "$name: the run went on past setup.zip to $server"
    done <<<"$after"
    kill "$program" 2>/dev/null || true
    reset_variant "$temp_win"
    return
  fi
  if [ "$kind" = expired ]; then
    find_box Terbo 60 "$window" || fail "$name: no message for the expired list"
    sleep 1
    screenshot "$box" "$shots/message.png"
    local shown
    shown=$(wine "$win/tests/win32/box_text.exe" Terbo | tr -d '\r')
    [ "$shown" = "Seznam souboru od dodavatele uz neplati. Zkontrolujte datum a cas v pocitaci" ] ||
      fail "$name: the message was '$shown', not the one about the clock"
    [ "$(grep -c '^GET' "$requests")" = 1 ] || fail "$name: more than the list was fetched: $(cat "$requests")"
    [ -z "$(ls -A "$folder" 2>/dev/null)" ] || fail "$name: something was saved: $(ls -A "$folder" | tr '\n' ' ')"
    [ ! -s "$report" ] || fail "$name: a report was sent: $(cat "$report")"
    kill "$program" 2>/dev/null || true
    reset_variant "$temp_win"
    return
  fi
  wait_gone "$program" 120 || fail "$name: the installer did not end after handing off"
  reset_variant "$temp_win"
  if [ "$kind" = trusted ] || [ "$kind" = resumed ]; then
    [ "$(head -1 "$requests")" = "GET /download/TERBO/websetup.list" ] ||
      fail "$name: the signed list was not fetched first: $(head -2 "$requests" | tr '\n' ' ')"
  fi
  if [ "$kind" = https ]; then
    local served=$run/proxy_$name-nginx/access.log
    [ "$(head -1 "$served")" = "www.vendor.example /download/TERBO/websetup.list 200" ] ||
      fail "$name: the signed list was not fetched first over TLS: $(head -2 "$served" | tr '\n' ' ')"
    [ "$(grep -c ' /download/TERBO/.* 200$' "$served")" = 10 ] ||
      fail "$name: not the list and nine files over TLS: $(cat "$served")"
    grep -q '^www.vendor.example /programy/setup.asp?' "$served" || fail "$name: the report did not go over TLS"
    [ "$(grep -vc '^CONNECT www.vendor.example:443 200$' "$requests")" = 0 ] ||
      fail "$name: a request other than a tunnel to port 443: $(cat "$requests")"
  fi
  if [ "$kind" = resumed ]; then
    # Two transfers a file, the second bringing the rest only.
    [ "$(grep -c '^GET /download/TERBO/.*\.zip$' "$requests")" = 18 ] ||
      fail "$name: not two transfers of each file: $(grep -c '^GET' "$requests") requests"
    local sizes=0 passed
    while read -r server _; do sizes=$((sizes + $(stat -c %s "$root/TERBO/$server"))); done \
      < <("$helper/tools/catalogue/catalogue" TERBO "$width" | tail -n +2)
    passed=$(awk '$1 == "sent" && $2 ~ /\.zip$/ { n += $3 } END { print n + 0 }' "$requests")
    ((passed * 10 <= sizes * 11)) || fail "$name: the proxy passed $passed bytes for files of $sizes bytes"
  fi
  local server local_name count
  while read -r server local_name; do
    cmp -s "$root/TERBO/$server" "$folder/$local_name" || fail "$name: $local_name differs from the server's $server"
  done < <("$helper/tools/catalogue/catalogue" TERBO "$width" | tail -n +2)
  # shellcheck disable=SC2010,SC2012
  count=$(ls "$folder" | grep -vc '^setup-started.log$\|^websetup.list$' || true)
  # shellcheck disable=SC2012
  [ "$count" = 9 ] || fail "$name: not nine files in $folder: $(ls "$folder" | tr '\n' ' ')"
  # The machine as the system-information component describes it in this prefix.
  local -a f
  mapfile -t f < <(wine "$win/tools/sysinfo_tool/sysinfo_tool.exe" | tr -d '\r' | sed 's/^[A-Za-z]*: //')
  local expected="telefon=XXX&co=stazeno (TERBO)*${f[0]}*${f[1]}*${f[3]}*${f[2]}*${f[4]}*"
  [ "$(wc -l <"$report")" = 1 ] || fail "$name: not exactly one report: $(cat "$report")"
  [ "$(cat "$report")" = "$expected" ] || fail "$name: report is '$(cat "$report")', not '$expected'"
  # The prefix is Windows 10: the report names its real build, not the 9200
  # Windows gives a program whose manifest names no later version.
  local build
  build=$(wine reg query 'HKLM\Software\Microsoft\Windows NT\CurrentVersion' /v CurrentBuildNumber |
    tr -d '\r' | awk '$1 == "CurrentBuildNumber" { print $3 }')
  case $(cat "$report") in
    *"(Build 9200)"* | "") fail "$name: the report names build 9200, not Windows 10's own: $(cat "$report")" ;;
    *"(Build $build)"*) ;;
    *) fail "$name: the report does not name Windows 10's build $build: $(cat "$report")" ;;
  esac
  local started_line=""
  wait_for_file "$folder/setup-started.log" 30 && started_line=$(tr -d '\r' <"$folder/setup-started.log")
  if [ "$kind" = cyrillic_temp ]; then
    # In the folder named in Cyrillic, which the program reached by its short name.
    case $started_line in
      "started cz in "*\\TERBO) ;;
      *) fail "$name: setup.exe was not started with cz in the TERBO folder: '$started_line'" ;;
    esac
  elif [ "$started_line" != "started cz in ${temp_win}\\TERBO" ]; then
    fail "$name: setup.exe was not started with cz in ${temp_win}\\TERBO: '$started_line'"
  fi
}
