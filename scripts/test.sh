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
# shellcheck disable=SC2086
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" ${CTEST_ARGS:-}
