#!/usr/bin/env bash
# The Windows program: cross-built with MinGW-w64 and proved under Wine, on
# two Windows machines.
#
#   scripts/windows-test.sh [--no-install]
#
# 1. installs what it needs (apt-get; skipped with --no-install);
# 2. builds the native helpers (vendor server, catalogue, server check, the
#    tampering proxy) into HELPER_DIR (default build-winhelper), the product,
#    the 32-bit program, into BUILD_DIR (default build-win) and the 64-bit one
#    into BUILD64_DIR (default build-win64); a folder already configured (the
#    README's build-win) is built with its own settings;
# 3. checks that websetup.exe is a 32-bit x86 program importing system DLLs
#    only and only functions that Windows XP SP3 exports
#    (tests/win32/winxp-exports), and that the check catches one that is not;
# 4. on each machine, in a fresh Wine prefix of its own
#      win32  32-bit Windows (WINEARCH=win32)
#      win64  64-bit Windows, the 32-bit program under WoW64
#    the Windows unit tests, the system information as Windows 2000, the
#    WinINet transport, the table of server scenarios (its TLS rows with the
#    test's authority shown to Wine in a private mount namespace: root only),
#    and TERBO.exe end to end (scripts/windows/end_to_end.sh): as built, then
#    on win32 at 144 dpi and over TLS (built with WEBSETUP_HTTPS), and on
#    win64 with a TEMP named in Cyrillic;
# 5. makes the releases a vendor makes (scripts/release.sh): signed with a
#    throw-away certificate and built with a throw-away vendor key, under a
#    company name with spaces, and unsigned and untrusted
#    (WEBSETUP_ALLOW_UNTRUSTED=1); checks both;
# 6. on each machine again, the signed release against the tree published
#    with that key (scripts/publish.sh): a clean run, and one whose setup.zip
#    a proxy changes on the way.
# Screenshots land in BUILD_DIR/e2e/<machine>/<kind>/. The Wine prefixes
# (BUILD_DIR/wine-*, gigabytes) are removed after a run that passes and kept
# after one that fails.
#
# Environment: BUILD_DIR, BUILD64_DIR, HELPER_DIR, JOBS (default: nproc),
# MACHINES (default "win32 win64").
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
source scripts/lib/desktop.sh
source scripts/lib/vendor.sh
for part in common build program releases servers machine end_to_end; do
  # shellcheck source=/dev/null
  source "scripts/windows/$part.sh"
done
trap cleanup EXIT

if [ "${1:-}" != "--no-install" ]; then
  step "installing"
  # wine32 runs the 32-bit program, on either kind of prefix.
  scripts/install-deps.sh g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32 wine64 osslsigncode openssl file
fi
build_all
step "websetup.exe is a 32-bit x86 program importing system DLLs only, all on Windows XP SP3"
check_program "$exe"
check_the_xp_check

rm -rf "$run"
mkdir -p "$run"
make_vendor_keys
start_xvfb "$run" || { echo "Xvfb did not start" >&2; exit 1; }
# A window manager draws the caption for the screenshots.
start_window_manager || echo "no window manager: screenshots without a frame"
start_servers

# The machine's width: the database package it downloads follows it.
width() { if [ "$1" = win64 ]; then echo 64; else echo 32; fi; }
for machine in $machines; do
  case $machine in win32 | win64) ;; *) fail "no machine called $machine"; continue ;; esac
  step "$machine: fresh Wine prefix"
  use_machine "$machine" "$machine"
  machine_checks "$machine" "$machine"
  variant=dpi144
  [ "$machine" = win64 ] && variant=cyrillic_temp
  # The whole run over TLS on the 32-bit machine.
  https=""
  [ "$machine" = win32 ] && https=https
  for kind in plain "$variant" $https; do
    step "$machine: end to end, TERBO.exe, $kind"
    end_to_end "$machine" "$(width "$machine")" "$kind"
  done
  leave_machine
done

signed_release
unsigned_release

for machine in $machines; do
  case $machine in win32 | win64) ;; *) continue ;; esac
  [ -f "$rel/dist/TERBO.exe" ] || break
  use_machine "$machine" "$machine"
  kinds="trusted tampered"
  [ "$machine" = win32 ] && kinds="$kinds expired resumed"
  for kind in $kinds; do
    step "$machine: end to end, the signed release built with the vendor's key, $kind"
    end_to_end "$machine" "$(width "$machine")" "$kind"
  done
  leave_machine
done
finish
