# shellcheck shell=bash
# Sourced by the Linux program's benchmarks: builds TARGETS (an array) into
# BUILD_DIR (default build), a scratch folder removed at exit with every
# process started into pids, an Xvfb display, the desktop and vendor helpers.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
src=$PWD
source scripts/lib/desktop.sh
source scripts/lib/vendor.sh
build=${BUILD_DIR:-build}
bin=$(realpath -m "$build")
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target "${targets[@]}" make_demo_tree demo_setup vendor_server catalogue server_check >/dev/null

work=$(mktemp -d)
pids=()
cleanup() {
  end_processes "${pids[@]}"
  rm -rf "$work"
}
trap cleanup EXIT
start_xvfb "$work" || { echo "Xvfb did not start" >&2; exit 1; }

# TERBO's files in $work/tree, its largest (the database package) replaced by
# the file given, published into $work/www.
bench_tree() { # file
  make_tree "$work/tree" TERBO
  cp "$1" "$work/tree/TERBO/$(ls -S "$work/tree/TERBO" | head -1)"
  publish_product "$work/tree/TERBO" "$work/www" TERBO
}

# One run of the build's PROGRAM with the environment given: seconds from the
# flag's click to its end.
timed_run() { # program [NAME=VALUE...]
  rm -rf "${work:?}/temp" "${work:?}/bin"
  mkdir -p "$work/temp" "$work/bin"
  ln -s "$bin/platform/posix/app/$1" "$work/bin/TERBO.exe"
  start_program TERBO TEMP="$work/temp" PROCESSOR_ARCHITECTURE=AMD64 "${@:2}" "$work/bin/TERBO.exe" >&2 ||
    { echo "$1 showed no window" >&2; exit 1; }
  local start end
  start=$(date +%s.%N)
  click_flag "$window" cz
  wait "$program" || true
  end=$(date +%s.%N)
  # The setup program starts detached, once the installer is on its way out.
  wait_for_file "$work/temp/TERBO/setup-started.log" 5 || { echo "$1 did not complete" >&2; exit 1; }
  echo "$end - $start" | bc
}
median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }

# Two programs' whole runs, alternately, RUNS times each, through the
# caller's run function; their medians and the second's ratio to the first.
compare_runs() { # program-a label-a program-b label-b [target]
  local a=() b=() i ma mb
  for i in $(seq "$runs"); do
    a+=("$(run "$1")")
    b+=("$(run "$3")")
    echo "  run $i: $2 ${a[-1]} s, $4 ${b[-1]} s"
  done
  ma=$(median "${a[@]}") mb=$(median "${b[@]}")
  echo "median of $runs: $2 $ma s, $4 $mb s: ratio $(echo "scale=3; $mb / $ma" | bc)${5:+ (target: $5)}"
  echo "(each run includes the program's own pauses: about 1 s before the first file, between files and before the report)"
}
