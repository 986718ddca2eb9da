#!/usr/bin/env bash
# The Windows program: cross-built with MinGW-w64 and proved under Wine, on
# two Windows machines.
#
#   scripts/windows-test.sh [--no-install]
#
# 1. installs what it needs (apt-get; skipped with --no-install),
# 2. builds the vendor server natively (HELPER_DIR, default build-winhelper),
# 3. cross-builds the product, the 32-bit program, into BUILD_DIR (default
#    build-win) and the 64-bit one into BUILD64_DIR (default build-win64);
#    checks that websetup.exe is a 32-bit x86 program importing system DLLs only
#    and only functions that Windows XP SP3 exports (tests/win32/winxp-exports),
# 4. on each machine (run_machine below), in a fresh Wine prefix of its own:
#      win32  32-bit Windows (WINEARCH=win32)
#      win64  64-bit Windows, the 32-bit program under WoW64
#    the Windows unit tests (Windows 10; on win64 the 64-bit build's too), the
#    system information test again as Windows 2000, the WinINet transport
#    test against the vendor server through http_proxy, the table of server
#    scenarios over WinINet (against scenario_server), and TERBO.exe end to
#    end on Xvfb: Czech flag clicked, the nine files, the database package
#    for the machine's width, one report line naming Windows 10's real build,
#    setup.exe started with cz; then once more, on win32 at 144 dpi (the
#    window half as large again, the scaled flag clicked) and on win64 with
#    TEMP in a folder named in Cyrillic letters,
# 5. makes a signed release with a throw-away certificate (scripts/release.sh)
#    and checks that it verifies, that a changed byte does not, that the
#    company name (with spaces) is in its version record, and that the signed
#    program starts.
# A build folder already configured (the README's build-win) is built with its
# own settings; a new one is configured here. Screenshots land in
# BUILD_DIR/e2e/<machine>/ (a variant's in a folder of its own inside). The
# Wine prefixes (BUILD_DIR/wine-*, gigabytes) are removed after a run that
# passes and kept after one that fails.
#
# Environment: BUILD_DIR, BUILD64_DIR, HELPER_DIR, JOBS (default: nproc),
# DISPLAY_NUMBER (default 71; the Xvfb display this script starts),
# MACHINES (default "win32 win64").
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
absolute() { case $1 in /*) echo "$1" ;; *) echo "$src/$1" ;; esac; }
win=$(absolute "${BUILD_DIR:-build-win}")
win64=$(absolute "${BUILD64_DIR:-build-win64}")
helper=$(absolute "${HELPER_DIR:-build-winhelper}")
jobs=${JOBS:-$(nproc)}
display=:${DISPLAY_NUMBER:-71}
machines=${MACHINES-win32 win64}
started=$(date +%s)
step() { echo "== $* ($(($(date +%s) - started)) s)"; }

if [ "${1:-}" != "--no-install" ]; then
  step "installing"
  # wine32 runs the 32-bit program, on either kind of prefix.
  scripts/install-deps.sh g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32 wine64 osslsigncode openssl file
fi

step "native vendor server ($helper)"
# A folder already configured (CI hands over the suite's build/) keeps its settings.
helper_args=()
[ -f "$helper/CMakeCache.txt" ] || helper_args=(-DCMAKE_BUILD_TYPE=Release)
cmake -S . -B "$helper" -G Ninja "${helper_args[@]}" >/dev/null
cmake --build "$helper" -j"$jobs" --target vendor_server make_demo_tree scenario_server

cross_build() { # folder toolchain
  if [ -f "$1/CMakeCache.txt" ]; then
    grep -q "^CMAKE_TOOLCHAIN_FILE:[A-Z]*=.*/$2\$" "$1/CMakeCache.txt" ||
      { echo "$1 is not configured with cmake/$2; remove it or name another BUILD_DIR" >&2; exit 1; }
    cmake -S . -B "$1" >/dev/null
  else
    cmake -S . -B "$1" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$src/cmake/$2" -DCMAKE_BUILD_TYPE=Release \
      -DWEBSETUP_WERROR=ON >/dev/null
  fi
  cmake --build "$1" -j"$jobs"
}
step "cross build, 32-bit: the product ($win)"
cross_build "$win" mingw-w64-i686.cmake
step "cross build, 64-bit ($win64)"
cross_build "$win64" mingw-w64.cmake
exe=$win/platform/win32/app/websetup.exe
[ -f "$exe" ] || { echo "no websetup.exe was built" >&2; exit 1; }

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Prints every import of a 32-bit program that Windows XP SP3 lacks, as
# DLL!function, and each DLL without an export list or imported by ordinal;
# fails when there is one. The lists are one per DLL, one name a line.
xp_imports_missing() { # exe list-folder
  i686-w64-mingw32-objdump -p "$1" | awk -v lists="$2" '
    function load(dll, file, line, n) {
      file = lists "/" dll ".txt"
      n = 0
      while ((getline line <file) > 0) if (line !~ /^#/ && line != "") { exported[dll, line] = 1; n++ }
      close(file)
      return n
    }
    /^\tDLL Name: / {
      dll = tolower($3)
      sub(/\.dll$/, "", dll)
      if (!(dll in listed)) listed[dll] = load(dll)
      if (!listed[dll]) { print $3 ": no Windows XP export list"; missing++ }
      next
    }
    # One imported function: address, hint and name; an ordinal has no name.
    /^\t[0-9a-f]+\t/ && dll != "" {
      if (NF < 3 || $3 == "<none>") { print dll ".dll: imported by ordinal " $2; missing++ }
      else if (listed[dll] && !((dll, $3) in exported)) { print dll ".dll!" $3; missing++ }
      imports++
    }
    END {
      if (!imports) { print "no imports read"; missing++ }
      exit missing > 0
    }'
}

# A program that starts on a bare 32-bit or 64-bit Windows from XP SP3 on:
# PE32 for x86, importing only DLLs that every Windows has and only what XP
# SP3 exports.
check_program() { # exe
  local imports allowed
  imports=$(i686-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p' | tr '[:upper:]' '[:lower:]' | sort)
  echo "$(basename "$1"): $(file -b "$1")"
  echo "  imports: $(echo "$imports" | tr '\n' ' ')"
  allowed='^(advapi32|comctl32|crypt32|gdi32|kernel32|msvcrt|ole32|oleaut32|shell32|shlwapi|user32|wininet|windowscodecs|ws2_32)\.dll$'
  if echo "$imports" | grep -Evc "$allowed" >/dev/null; then
    fail "$1 needs a DLL that a bare Windows lacks: $(echo "$imports" | grep -Ev "$allowed" | tr '\n' ' ')"
  fi
  file -b "$1" | grep -c '^PE32 executable (GUI) Intel 80386' >/dev/null || fail "$1 is not a 32-bit x86 Windows program"
  i686-w64-mingw32-objdump -p "$1" | grep -Ec '^Magic\s+010b\s+\(PE32\)' >/dev/null || fail "$1 has no PE32 header"
  local missing
  missing=$(xp_imports_missing "$1" "$xp_exports") ||
    fail "$1 does not load on Windows XP SP3, which lacks: $(echo "$missing" | tr '\n' ' ')"
}
xp_exports=$src/tests/win32/winxp-exports
step "websetup.exe is a 32-bit x86 program importing system DLLs only, all on Windows XP SP3"
check_program "$exe"
# The check itself: lists without one function the program imports must fail it, naming that one.
lacking=$win/xp-exports-lacking
rm -rf "$lacking"
cp -r "$xp_exports" "$lacking"
sed -i '/^GetModuleFileNameA$/d' "$lacking/kernel32.txt"
if missing=$(xp_imports_missing "$exe" "$lacking"); then
  fail "the Windows XP import check passes a program that imports a function missing from its lists"
elif [ "$missing" != "kernel32.dll!GetModuleFileNameA" ]; then
  fail "the Windows XP import check names '$missing', not kernel32.dll!GetModuleFileNameA"
fi

# Everything below runs on an X display of our own; each machine in a fresh
# prefix inside the build folder.
run=$win/run
rm -rf "$run"
mkdir -p "$run"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
pids=()
prefixes=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for p in "${prefixes[@]}"; do WINEPREFIX=$p wineserver -k 2>/dev/null || true; done
}
trap cleanup EXIT

step "Xvfb $display"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$run/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
if command -v openbox >/dev/null; then
  # A window manager draws the caption for the screenshots.
  openbox >/dev/null 2>&1 &
  pids+=($!)
fi

# A vendor server on loopback: start_server NAME ROOT [vendor_server options];
# sets port_NAME. Its report log is $run/NAME-report.log.
start_server() {
  local name=$1 root=$2
  shift 2
  rm -f "$run/$name-port" "$run/$name-report.log"
  "$helper/tools/vendor_server/vendor_server" --root "$root" --log "$run/$name-report.log" \
    --port-file "$run/$name-port" "$@" >"$run/$name-server.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$run/$name-port" ] && break; sleep 0.1; done
  printf -v "port_$name" '%s' "$(cat "$run/$name-port")"
}

step "vendor servers: WinINet transport files, the scenario table, TERBO's download tree"
files=$run/transport-files
mkdir -p "$files/W"
head -c 300000 /dev/urandom >"$files/W/full.bin"
head -c 300000 /dev/urandom >"$files/W/short.bin"
head -c 70000 /dev/urandom >"$files/W/nolength.bin"
port_transport=""
start_server transport "$files" --fault /download/W/short.bin=cut:5000 --fault /download/W/nolength.bin=nolength
# The scenario table's server; scenario_test.exe holds the same table.
"$helper/tests/httpget/scenario_server" "$run/scenarios" "$run/scenarios-port" >"$run/scenarios-server.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$run/scenarios-port" ] && break; sleep 0.1; done
port_scenarios=$(cat "$run/scenarios-port")
tree=$run/tree
"$helper/tools/vendor_server/make_demo_tree" "$tree" "$win/tools/vendor_server/demo_setup.exe" >/dev/null
for d in "$tree"/*; do [ "$(basename "$d")" = TERBO ] || rm -rf "$d"; done

# Sets the Windows version of the current prefix. winecfg refuses the
# 32-bit-only versions (win2k) in a 64-bit prefix; Wine's own registry
# setting takes them.
set_windows() {
  winecfg /v "$1" >/dev/null 2>&1 || wine reg add 'HKCU\Software\Wine' /v Version /d "$1" /f >/dev/null 2>&1
}

# Finds the visible window captioned exactly $1 within 30 s; sets window.
find_window() {
  window=""
  for _ in $(seq 300); do
    for w in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
      [ "$(xdotool getwindowname "$w")" = "$1" ] && window=$w
    done
    [ -n "$window" ] && return 0
    sleep 0.1
  done
  return 1
}

# The whole frame when a window manager drew one, else the client area.
screenshot() { # window file
  # shellcheck disable=SC2034 # the eval sets them all
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$1")"
  import -window root -crop "$((WIDTH + 40))x$((HEIGHT + 60))+$((X - 20))+$((Y - 40))" +repage "$2" || true
}

# The prefix's screen and TEMP as they were before a variant changed them.
reset_variant() { # temp
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
  wine reg add 'HKCU\Environment' /v TEMP /d "$1" /f >/dev/null 2>&1
}

# TERBO.exe end to end: Czech flag, nine files byte for byte with the given
# database package, one report line, setup.exe started with cz. A variant
# runs it on a screen of 144 dpi (dpi144), or with a TEMP folder named in
# Cyrillic letters, which no Czech or Western code page has (cyrillic_temp).
end_to_end() { # machine database-package [variant]
  local machine=$1 database=$2 variant=${3:-}
  local run_name=$machine${variant:+_$variant} shots=$win/e2e/$machine${variant:+/$variant} bin=$run/$machine/bin
  mkdir -p "$shots" "$bin"
  start_server "e2e_$run_name" "$tree"
  local port_var=port_e2e_$run_name
  local temp_win temp folder program dpi=96
  temp_win=$(wine cmd /c 'echo %TEMP%' | tr -d '\r')
  temp=$(winepath -u "$temp_win" | sed 's:/*$::')
  case $variant in
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
  cp "$exe" "$bin/TERBO.exe"
  http_proxy="http://127.0.0.1:${!port_var}" wine "$bin/TERBO.exe" >"$run/$machine/program${variant:+-$variant}.log" 2>&1 &
  program=$!
  pids+=("$program")
  # The caption is TERBO; the application window beside it is titled Terbo.
  if ! find_window TERBO; then
    fail "$run_name: no window captioned TERBO"
    [ -z "$variant" ] || reset_variant "$temp_win"
    return
  fi
  sleep 1
  screenshot "$window" "$shots/language-page.png"
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$window")"
  # The client area, 585 x 113 at 96 dpi, scaled by dpi / 96.
  [ "${WIDTH}x$HEIGHT" = "$(((585 * dpi + 48) / 96))x$(((113 * dpi + 48) / 96))" ] ||
    fail "$run_name: the client area is ${WIDTH}x$HEIGHT at $dpi dpi"
  # The Czech flag lies at 240,45 (40 x 27) in the client area at 96 dpi. On
  # a larger screen it is clicked near its far corner, which only the scaled
  # flag reaches.
  if ((dpi == 96)); then
    xdotool mousemove --window "$window" 260 58 click 1
  else
    xdotool mousemove --window "$window" $(((276 * dpi + 48) / 96)) $(((69 * dpi + 48) / 96)) click 1
  fi
  sleep 2.5
  screenshot "$window" "$shots/progress-page.png"
  for _ in $(seq 1200); do kill -0 "$program" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$program" 2>/dev/null && fail "$run_name: the installer did not end after handing off"
  [ -z "$variant" ] || reset_variant "$temp_win"
  local name local_name count
  while read -r name local_name; do
    cmp -s "$tree/TERBO/$name" "$folder/$local_name" || fail "$run_name: $local_name differs from the server's $name"
  done <<LIST
comm32.zip comm32._dl
ntdll.zip ntdll._dl
qtintf70.zip qtintf70._dl
terbo.zip terbo._ex
$database Firebird.exe
setup.zip setup.exe
fendo.zip fendo._ex
rastel.zip rastel._ex
kolvira.zip kolvira._ex
LIST
  # shellcheck disable=SC2010,SC2012
  count=$(ls "$folder" | grep -vc '^setup-started.log$' || true)
  # shellcheck disable=SC2012
  [ "$count" = 9 ] || fail "$run_name: not nine files in $folder: $(ls "$folder" | tr '\n' ' ')"
  # The machine as the system-information component describes it in this prefix.
  local -a f
  mapfile -t f < <(wine "$win/tools/sysinfo_tool/sysinfo_tool.exe" | tr -d '\r' | sed 's/^[A-Za-z]*: //')
  local report=$run/e2e_$run_name-report.log
  local expected="telefon=XXX&co=stazeno (TERBO)*${f[0]}*${f[1]}*${f[3]}*${f[2]}*${f[4]}*"
  [ "$(wc -l <"$report")" = 1 ] || fail "$run_name: not exactly one report: $(cat "$report")"
  [ "$(cat "$report")" = "$expected" ] || fail "$run_name: report is '$(cat "$report")', not '$expected'"
  # The prefix is Windows 10: the report names its real build, not the 9200
  # Windows gives a program whose manifest names no later version.
  local build
  build=$(wine reg query 'HKLM\Software\Microsoft\Windows NT\CurrentVersion' /v CurrentBuildNumber |
    tr -d '\r' | awk '$1 == "CurrentBuildNumber" { print $3 }')
  case $(cat "$report") in
    *"(Build 9200)"* | "") fail "$run_name: the report names build 9200, not Windows 10's own: $(cat "$report")" ;;
    *"(Build $build)"*) ;;
    *) fail "$run_name: the report does not name Windows 10's build $build: $(cat "$report")" ;;
  esac
  local started_line=""
  for _ in $(seq 300); do
    started_line=$(tr -d '\r' <"$folder/setup-started.log" 2>/dev/null || true)
    [ -n "$started_line" ] && break
    sleep 0.1
  done
  if [ "$variant" = cyrillic_temp ]; then
    # In the folder named in Cyrillic, which the program reached by its short name.
    case $started_line in
      "started cz in "*\\TERBO) ;;
      *) fail "$run_name: setup.exe was not started with cz in the TERBO folder: '$started_line'" ;;
    esac
  elif [ "$started_line" != "started cz in ${temp_win}\\TERBO" ]; then
    fail "$run_name: setup.exe was not started with cz in ${temp_win}\\TERBO: '$started_line'"
  fi
}

# One Windows machine: a fresh prefix, then every check in it.
#   run_machine NAME WINEARCH DATABASE-PACKAGE
run_machine() {
  local machine=$1 arch=$2 database=$3
  step "$machine: fresh Wine prefix (WINEARCH=$arch)"
  export WINEPREFIX=$win/wine-$machine WINEARCH=$arch
  prefixes+=("$WINEPREFIX")
  rm -rf "$WINEPREFIX" "${run:?}/$machine"
  mkdir -p "$WINEPREFIX" "$run/$machine"
  # A persistent server first: the services wineboot starts must not inherit
  # the pipes of a later test run, or ctest would wait for them.
  wineserver -p
  wineboot -i >"$run/$machine/wineboot.log" 2>&1
  set_windows win10

  step "$machine: Windows unit tests, 32-bit build (Windows 10)"
  WEBSETUP_WINDOWS_VERSION=win10 ctest --test-dir "$win" --output-on-failure --timeout 300 ||
    fail "$machine: unit tests (32-bit)"
  if [ "$arch" = win64 ]; then
    step "$machine: Windows unit tests, 64-bit build (Windows 10)"
    WEBSETUP_WINDOWS_VERSION=win10 ctest --test-dir "$win64" --output-on-failure --timeout 300 ||
      fail "$machine: unit tests (64-bit)"
  fi

  step "$machine: system information as Windows 2000"
  set_windows win2k
  WEBSETUP_WINDOWS_VERSION=win2k wine "$win/tests/win32/win32_sysinfo_test.exe" || fail "$machine: sysinfo as win2k"
  set_windows win10

  step "$machine: WinINet transport against the vendor server"
  http_proxy="http://127.0.0.1:$port_transport" WEBSETUP_TEST_ROOT="$(winepath -w "$files")" \
    wine "$win/tests/win32/win32_transport_test.exe" || fail "$machine: WinINet transport"

  step "$machine: the scenario table over WinINet"
  http_proxy="http://127.0.0.1:$port_scenarios" WEBSETUP_SCENARIO_PROXY="127.0.0.1:$port_scenarios" \
    wine "$win/tests/win32/win32_scenario_test.exe" || fail "$machine: scenario table"

  step "$machine: end to end, TERBO.exe, Czech flag, $database"
  end_to_end "$machine" "$database"
  # One variant a machine: the window at 144 dpi, a TEMP named in Cyrillic.
  local variant=dpi144
  [ "$arch" = win64 ] && variant=cyrillic_temp
  step "$machine: end to end again, $variant"
  end_to_end "$machine" "$database" "$variant"

  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}

for machine in $machines; do
  case $machine in
    win32) run_machine win32 win32 Firebird-32.zip ;;
    win64) run_machine win64 win64 Firebird-64.zip ;;
    *) fail "no machine called $machine" ;;
  esac
done

# The release as a vendor makes it, signed with a throw-away certificate.
step "signed release"
rel=$run/release
mkdir -p "$rel"
openssl req -x509 -newkey rsa:2048 -keyout "$rel/key.pem" -out "$rel/cert.pem" -days 2 \
  -subj "/CN=websetup throw-away code signing" -addext "extendedKeyUsage=codeSigning" \
  -addext "keyUsage=critical,digitalSignature" -passout pass:throw-away >/dev/null 2>&1
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$rel/other-key.pem" -out "$rel/other.pem" -days 2 \
  -subj "/CN=someone else" -addext "extendedKeyUsage=codeSigning" >/dev/null 2>&1
company="Kestrami & Syn, s.r.o."
if WEBSETUP_SIGN_CERT=$rel/cert.pem WEBSETUP_SIGN_KEY=$rel/key.pem WEBSETUP_SIGN_PASS=throw-away \
  WEBSETUP_COMPANY=$company BUILD_DIR=$win DIST_DIR=$rel/dist JOBS=$jobs scripts/release.sh --no-install TERBO; then
  signed=$rel/dist/websetup.exe
  check_program "$signed"
  (cd "$rel/dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the release"
  grep -q ' TERBO\.exe$' "$rel/dist/SHA256SUMS" || fail "SHA256SUMS does not list TERBO.exe"
  read_company=$(i686-w64-mingw32-windres -i "$signed" -O rc | sed -n 's/^ *VALUE "CompanyName", "\(.*\)"$/\1/p')
  [ "$read_company" = "$company" ] || fail "the version record's company is '$read_company', not '$company'"
  osslsigncode verify -CAfile "$rel/cert.pem" -in "$signed" >"$rel/verify.log" 2>&1 ||
    fail "the signed release does not verify: $(tail -3 "$rel/verify.log")"
  osslsigncode verify -CAfile "$rel/other.pem" -in "$signed" >/dev/null 2>&1 &&
    fail "the signed release verifies against a certificate that did not sign it"
  # One byte of the code changed: the signature no longer holds.
  cp "$signed" "$rel/changed.exe"
  offset=$((0x1000))
  byte=$(od -An -tu1 -j"$offset" -N1 "$rel/changed.exe" | tr -d ' ')
  printf '%b' "\\$(printf '%03o' $(((byte + 1) % 256)))" | dd of="$rel/changed.exe" bs=1 seek="$offset" conv=notrunc status=none
  cmp -s "$signed" "$rel/changed.exe" && fail "the byte was not changed"
  osslsigncode verify -CAfile "$rel/cert.pem" -in "$rel/changed.exe" >/dev/null 2>&1 &&
    fail "a release with a changed byte still verifies"
  # The signed program still starts: its window appears.
  export WINEPREFIX=$win/wine-release WINEARCH=win32
  prefixes+=("$WINEPREFIX")
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wineserver -p
  wineboot -i >"$rel/wineboot.log" 2>&1
  wine "$rel/dist/TERBO.exe" >"$rel/program.log" 2>&1 &
  program=$!
  pids+=("$program")
  if find_window TERBO; then
    screenshot "$window" "$win/e2e/signed-release.png"
    # Closed, or else ended with the prefix below: it has shown what it had to.
    xdotool key --window "$window" alt+F4 >/dev/null 2>&1 || true
    for _ in $(seq 50); do kill -0 "$program" 2>/dev/null || break; sleep 0.1; done
  else
    fail "the signed program shows no window"
  fi
  wineserver -k 2>/dev/null || true
else
  fail "scripts/release.sh could not make a signed release"
fi
step "unsigned release"
if BUILD_DIR=$win DIST_DIR=$rel/unsigned JOBS=$jobs scripts/release.sh --no-install | tee "$rel/unsigned.log"; then
  grep -q UNSIGNED "$rel/unsigned.log" || fail "an unsigned release does not say so"
  osslsigncode verify -CAfile "$rel/cert.pem" -in "$rel/unsigned/websetup.exe" >/dev/null 2>&1 &&
    fail "the unsigned release carries a signature"
else
  fail "scripts/release.sh could not make an unsigned release"
fi

step "done"
if ((failures > 0)); then
  echo "$failures check(s) failed; logs in $run, Wine prefixes kept in: ${prefixes[*]}" >&2
  exit 1
fi
for p in "${prefixes[@]}"; do
  WINEPREFIX=$p wineserver -k 2>/dev/null || true
  WINEPREFIX=$p wineserver -w 2>/dev/null || true
  rm -rf "$p"
done
echo "all Windows checks passed on $machines; screenshots in $win/e2e; Wine prefixes removed"
