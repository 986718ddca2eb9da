#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds into build/ and runs every test.
#   BUILD_DIR=...        build folder (default: build)
#   CMAKE_ARGS="..."     extra configure arguments (e.g. sanitizers)
#   CTEST_ARGS="..."     extra ctest arguments (e.g. -L getter)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

build="${BUILD_DIR:-build}"
# shellcheck disable=SC2086
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" -DWEBSETUP_WERROR=ON ${CMAKE_ARGS:-}
cmake --build "$build" -j"$(nproc)"
# The tests get an empty temporary folder of their own; whatever a test left
# in it afterwards is a failure too.
tmp=$(realpath "$build")/test-tmp
rm -rf "$tmp"
mkdir -p "$tmp"
status=0
# shellcheck disable=SC2086
TMPDIR=$tmp ctest --test-dir "$build" --output-on-failure -j"$(nproc)" ${CTEST_ARGS:-} || status=$?
# ctest names the skipped tests; their own output says why.
awk '/^\[ RUN      \] / { name = $4 } skip { print "  " name ": " $0; skip = 0 } / Skipped$/ { skip = 1 }' \
  "$build/Testing/Temporary/LastTest.log" 2>/dev/null | sort >"$build/skipped.txt" || true
if [ -s "$build/skipped.txt" ]; then
  echo "Skipped, and why:"
  cat "$build/skipped.txt"
fi
left=$(find "$tmp" -mindepth 1 -maxdepth 1)
if [ -n "$left" ]; then
  echo "FAIL: the tests left this behind in their temporary folder $tmp:" >&2
  echo "$left" >&2
  status=1
else
  rmdir "$tmp"
fi
exit "$status"
