#!/usr/bin/env bash
# Makes a release of the Windows program: the 32-bit build (Release,
# stripped) as dist/websetup.exe, signed with Authenticode when a certificate
# is given, and dist/SHA256SUMS.
#
#   scripts/release.sh [--no-install]
#
# Environment:
#   WEBSETUP_SIGN_CERT       PEM file of the code-signing certificate (and its chain)
#   WEBSETUP_SIGN_KEY        PEM file of its private key
#   WEBSETUP_SIGN_PASS       the key's password, if it has one
#   WEBSETUP_SIGN_TIMESTAMP  URL of a time-stamping server (optional)
#   BUILD_DIR                build folder (default build-release)
#   DIST_DIR                 where the release goes (default dist)
#   CMAKE_ARGS               extra configure arguments, e.g. -DWEBSETUP_VENDOR_HOST=... -DWEBSETUP_COMPANY=...
#   JOBS                     parallel build jobs (default: nproc)
# Without WEBSETUP_SIGN_CERT and WEBSETUP_SIGN_KEY the release is unsigned.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
absolute() { case $1 in /*) echo "$1" ;; *) echo "$src/$1" ;; esac; }
build=$(absolute "${BUILD_DIR:-build-release}")
dist=$(absolute "${DIST_DIR:-dist}")
jobs=${JOBS:-$(nproc)}
cert=${WEBSETUP_SIGN_CERT:-}
key=${WEBSETUP_SIGN_KEY:-}

if { [ -n "$cert" ] && [ -z "$key" ]; } || { [ -z "$cert" ] && [ -n "$key" ]; }; then
  echo "WEBSETUP_SIGN_CERT and WEBSETUP_SIGN_KEY go together" >&2
  exit 1
fi
for f in "$cert" "$key"; do
  [ -z "$f" ] || [ -r "$f" ] || { echo "cannot read $f" >&2; exit 1; }
done

if [ "${1:-}" != "--no-install" ]; then
  scripts/install-deps.sh g++-mingw-w64-i686 osslsigncode
fi

# shellcheck disable=SC2086
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release ${CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j"$jobs" --target websetup

mkdir -p "$dist"
rm -f "$dist/websetup.exe" "$dist/SHA256SUMS"
unsigned=$dist/websetup-unsigned.exe
cp "$build/platform/win32/app/websetup.exe" "$unsigned"
i686-w64-mingw32-strip "$unsigned"

if [ -n "$cert" ]; then
  args=(sign -certs "$cert" -key "$key" -h sha256 -n websetup -in "$unsigned" -out "$dist/websetup.exe")
  [ -z "${WEBSETUP_SIGN_PASS:-}" ] || args+=(-pass "$WEBSETUP_SIGN_PASS")
  [ -z "${WEBSETUP_SIGN_TIMESTAMP:-}" ] || args+=(-ts "$WEBSETUP_SIGN_TIMESTAMP")
  osslsigncode "${args[@]}" >/dev/null
  rm -f "$unsigned"
  signed="signed with $(openssl x509 -in "$cert" -noout -subject)"
  [ -z "${WEBSETUP_SIGN_TIMESTAMP:-}" ] || signed="$signed, time-stamped by $WEBSETUP_SIGN_TIMESTAMP"
else
  mv "$unsigned" "$dist/websetup.exe"
  signed="UNSIGNED: no certificate given (WEBSETUP_SIGN_CERT, WEBSETUP_SIGN_KEY)"
fi

(cd "$dist" && sha256sum websetup.exe >SHA256SUMS)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
echo "release $version in $dist:"
echo "  websetup.exe  $(stat -c %s "$dist/websetup.exe") bytes, 32-bit x86, $signed"
echo "  SHA256SUMS    $(cut -d' ' -f1 "$dist/SHA256SUMS")"
