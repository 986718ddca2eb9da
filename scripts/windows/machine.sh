# shellcheck shell=bash
# Sourced by scripts/windows-test.sh: everything but the program's own runs,
# on one Windows machine.

# The Windows unit tests (as Windows 10; on a 64-bit machine the 64-bit
# build's too), the system information again as Windows 2000, the WinINet
# transport against the vendor server and the table of server scenarios.
machine_checks() { # machine winearch
  local machine=$1 arch=$2
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
    wine "$win/tests/win32/win32_scenario_test.exe" --gtest_filter=-Tls/* || fail "$machine: scenario table"

  step "$machine: the scenario table's TLS rows over WinINet"
  bash tests/httpget/tls_peers.sh "$helper" "$run/$machine/tls" with_test_authority \
    wine "$win/tests/win32/win32_scenario_test.exe" --gtest_filter=Tls/* || fail "$machine: TLS rows"
}

# Runs a command with http_proxy set to the test's CONNECT proxy, in a
# private mount namespace where Wine finds the test's authority in the
# machine's bundle (Wine trusts that bundle's roots only); outside it the
# machine trusts what it did before. Needs root.
with_test_authority() { # command...
  http_proxy="http://$WEBSETUP_TLS_PROXY" unshare -m sh -c \
    'mount --bind "$0" /etc/ssl/certs/ca-certificates.crt && exec "$@"' "$WEBSETUP_TLS_BUNDLE" "$@"
}
export -f with_test_authority
