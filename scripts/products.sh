#!/usr/bin/env bash
# The README's table of products and their files, printed from the catalogue
# the program itself uses (tools/catalogue), so that the two cannot drift.
#
#   scripts/products.sh              prints the table (Markdown)
#   scripts/products.sh --check      exits 1, with the difference, when README.md's table is not it
#   scripts/products.sh --update     writes it into README.md
#
# The table stands in README.md between the lines "<!-- products -->" and
# "<!-- end products -->". Environment: BUILD_DIR, the native build folder
# holding tools/catalogue (default build; built here when missing).
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
build=${BUILD_DIR:-build}
case $build in /*) ;; *) build=$src/$build ;; esac
catalogue=$build/tools/catalogue/catalogue
readme=$src/README.md

if [ ! -x "$catalogue" ]; then
  echo "building the catalogue tool in $build" >&2
  [ -f "$build/CMakeCache.txt" ] || cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" --target catalogue >/dev/null
fi

table() {
  echo '| product | files: server name → stored as | count |'
  echo '|---|---|---|'
  local code server local_name last="" row count
  while read -r code; do
    row="" count=0 last=""
    while read -r server local_name; do
      # The two database packages, one for each width of Windows, are one file to the program.
      if [ "$local_name" = "$last" ]; then
        row="${row% → *} or \`$server\` → \`$local_name\`"
        continue
      fi
      row="$row${row:+, }\`$server\` → \`$local_name\`"
      count=$((count + 1)) last=$local_name
    done < <("$catalogue" "$code" | tail -n +2)
    echo "| $code | $row | $count |"
  done < <("$catalogue")
}

readme_table() { sed -n '/^<!-- products -->$/,/^<!-- end products -->$/p' "$readme" | sed '1d;$d'; }

case ${1:-} in
  "") table ;;
  --check)
    if ! diff <(readme_table) <(table) >&2; then
      echo "README.md's table of products is not the catalogue's; scripts/products.sh --update writes it" >&2
      exit 1
    fi
    ;;
  --update)
    grep -q '^<!-- products -->$' "$readme" || { echo "README.md has no <!-- products --> line" >&2; exit 1; }
    new=$(mktemp)
    trap 'rm -f "$new"' EXIT
    awk -v table="$(table)" '
      /^<!-- products -->$/ { print; print table; skip = 1; next }
      /^<!-- end products -->$/ { skip = 0 }
      !skip' "$readme" >"$new"
    cat "$new" >"$readme"
    ;;
  *)
    sed -n '3,8p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
    ;;
esac
