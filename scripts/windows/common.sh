# shellcheck shell=bash
# Sourced by scripts/windows-test.sh: its settings, steps, failures and the
# clean-up of what it started. Functions and settings only.

absolute() { case $1 in /*) echo "$1" ;; *) echo "$src/$1" ;; esac; }
win=$(absolute "${BUILD_DIR:-build-win}")
win64=$(absolute "${BUILD64_DIR:-build-win64}")
helper=$(absolute "${HELPER_DIR:-build-winhelper}")
jobs=${JOBS:-$(nproc)}
machines=${MACHINES-win32 win64}
exe=$win/platform/win32/app/websetup.exe
run=$win/run
started=$(date +%s)
step() { echo "== $* ($(($(date +%s) - started)) s)"; }

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
pids=()
prefixes=()
cleanup() {
  end_processes "${pids[@]}"
  for p in "${prefixes[@]}"; do WINEPREFIX=$p wineserver -k 2>/dev/null || true; done
}

# The Wine prefix of a machine, made fresh the first time; later calls only
# point at it.
use_machine() { # name winearch
  export WINEPREFIX=$win/wine-$1 WINEARCH=$2
  if [[ " ${prefixes[*]} " != *" $WINEPREFIX "* ]]; then
    prefixes+=("$WINEPREFIX")
    rm -rf "$WINEPREFIX" "${run:?}/$1"
    mkdir -p "$WINEPREFIX" "$run/$1"
    # A persistent server first: the services wineboot starts must not inherit
    # the pipes of a later test run, or ctest would wait for them.
    wineserver -p
    wineboot -i >"$run/$1/wineboot.log" 2>&1
    set_windows win10
  else
    wineserver -p
  fi
}

leave_machine() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}

# Sets the Windows version of the current prefix. winecfg refuses the
# 32-bit-only versions (win2k) in a 64-bit prefix; Wine's own registry
# setting takes them.
set_windows() {
  winecfg /v "$1" >/dev/null 2>&1 || wine reg add 'HKCU\Software\Wine' /v Version /d "$1" /f >/dev/null 2>&1
}

# Ends the run: the prefixes go after a run that passed, stay after one that failed.
finish() {
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
}
