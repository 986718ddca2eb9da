# shellcheck shell=bash
# Sourced by scripts/windows-test.sh: the native helpers and both cross builds.

# The vendor's tools, the servers and the proxy, built natively. A folder
# already configured (CI hands over the suite's build/) keeps its settings.
build_helpers() {
  step "native helpers ($helper)"
  local args=()
  [ -f "$helper/CMakeCache.txt" ] || args=(-DCMAKE_BUILD_TYPE=Release)
  cmake -S . -B "$helper" -G Ninja "${args[@]}" >/dev/null
  cmake --build "$helper" -j"$jobs" --target vendor_server make_demo_tree scenario_server catalogue server_check \
    tamper_proxy connect_proxy
}

# A folder already configured (the README's build-win) is built with its own
# settings, but without a vendor's key: the runs of the program as built
# fetch no signed list (the key's runs use the release made with one). A new
# folder is configured here.
cross_build() { # folder toolchain
  if [ -f "$1/CMakeCache.txt" ]; then
    grep -q "^CMAKE_TOOLCHAIN_FILE:[A-Z]*=.*/$2\$" "$1/CMakeCache.txt" ||
      { echo "$1 is not configured with cmake/$2; remove it or name another BUILD_DIR" >&2; exit 1; }
    cmake -S . -B "$1" -UWEBSETUP_TRUST_KEY >/dev/null
  else
    cmake -S . -B "$1" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$src/cmake/$2" -DCMAKE_BUILD_TYPE=Release \
      -DWEBSETUP_WERROR=ON >/dev/null
  fi
  cmake --build "$1" -j"$jobs"
}

build_all() {
  build_helpers
  step "cross build, 32-bit: the product ($win)"
  cross_build "$win" mingw-w64-i686.cmake
  step "cross build, 64-bit ($win64)"
  cross_build "$win64" mingw-w64.cmake
  [ -f "$exe" ] || { echo "no websetup.exe was built" >&2; exit 1; }
}
