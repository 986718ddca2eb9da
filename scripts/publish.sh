#!/usr/bin/env bash
# The vendor's half of trusted downloads.
#
#   scripts/publish.sh PRIVATE-KEY.pem FILES-DIR WEBROOT PROGRAM...
#     Lays out WEBROOT/download/PROGRAM/ for each program name as it is
#     published (TERBO for TERBO.exe, kalmiro for kalmiro.exe: the program
#     keeps the case of its file name in the download path), with each server
#     file of that product copied from FILES-DIR and the product's list,
#     websetup.list, signed with the key (RSA, SHA-256). A server file missing
#     from FILES-DIR is an error that names it; WEBROOT is changed only when
#     everything is ready. A key with a password reads it from WEBSETUP_KEY_PASS.
#
#   scripts/publish.sh --check --key KEY.pem http[s]://HOST[:PORT] PROGRAM...
#     Fetches what each program would fetch from that server and prints one
#     line per file; exits non-zero on any fault. KEY is the public key the
#     program was built with, or its private half.
#
# Environment: BUILD_DIR, the native build folder holding the tools (default
# build; built here when missing).
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
absolute() { case $1 in /*) echo "$1" ;; *) echo "$OLDPWD/$1" ;; esac; }
usage() {
  sed -n '3,17p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

build=${BUILD_DIR:-build}
case $build in /*) ;; *) build=$src/$build ;; esac
tools() { # the native tools this script runs
  if [ ! -x "$build/tools/catalogue/catalogue" ] || [ ! -x "$build/tools/server_check/server_check" ]; then
    echo "building the vendor's tools in $build" >&2
    [ -f "$build/CMakeCache.txt" ] || cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" --target catalogue server_check >/dev/null
  fi
}

if [ "${1:-}" = --check ]; then
  [ "${2:-}" = --key ] && [ $# -ge 5 ] || usage
  key=$(cd "$OLDPWD" && realpath "$3")
  shift 3
  tools
  public=$(mktemp)
  trap 'rm -f "$public"' EXIT
  # The public half, whichever half was given.
  if grep -q -- '-----BEGIN PUBLIC KEY-----' "$key"; then
    cp "$key" "$public"
  else
    openssl pkey -in "$key" ${WEBSETUP_KEY_PASS:+-passin env:WEBSETUP_KEY_PASS} -pubout -out "$public"
  fi
  status=0
  "$build/tools/server_check/server_check" --key "$public" "$@" || status=$?
  exit "$status"
fi

[ $# -ge 4 ] || usage
key=$(absolute "$1")
files=$(absolute "$2")
webroot=$(absolute "$3")
shift 3
[ -r "$key" ] || { echo "publish: cannot read the key $key" >&2; exit 1; }
[ -d "$files" ] || { echo "publish: no folder $files" >&2; exit 1; }
tools

mkdir -p "$webroot"
stage=$(mktemp -d "$webroot/.publish.XXXXXX")
trap 'rm -rf "$stage"' EXIT

missing=()
for program in "$@"; do
  listing=$("$build/tools/catalogue/catalogue" "$program" 2>/dev/null) || {
    echo "publish: no product is called $program; the catalogue knows: $("$build/tools/catalogue/catalogue" | tr '\n' ' ')" >&2
    exit 1
  }
  product=$(head -1 <<<"$listing")
  folder=$stage/download/$program
  mkdir -p "$folder"
  body=$folder/websetup.list.body
  printf 'websetup file list 2\nproduct %s\nserial %s\nexpires %s\n' "$product" "$(date +%s)" \
    "$(date -u -d '+180 days' +%Y-%m-%dT%H:%M:%SZ)" >"$body"
  while read -r server _; do
    [ -f "$files/$server" ] || { missing+=("$program: $server"); continue; }
    size=$(stat -c %s "$files/$server")
    # The program fetches at most 2 GiB - 1 bytes a file.
    [ "$size" -le 2147483647 ] || { echo "publish: $files/$server is larger than 2 GiB" >&2; exit 1; }
    cp "$files/$server" "$folder/$server"
    printf '%s %s %s\n' "$server" "$size" "$(sha256sum "$folder/$server" | cut -d' ' -f1)" >>"$body"
  done < <(tail -n +2 <<<"$listing")
  [ ${#missing[@]} -gt 0 ] && continue
  openssl dgst -sha256 -sign "$key" ${WEBSETUP_KEY_PASS:+-passin env:WEBSETUP_KEY_PASS} \
    -out "$folder/websetup.list.sig" "$body"
  { cat "$body"; printf 'signature %s\n' "$(base64 -w0 "$folder/websetup.list.sig")"; } >"$folder/websetup.list"
  rm "$body" "$folder/websetup.list.sig"
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "publish: missing from $files (nothing was published):" >&2
  printf '  %s\n' "${missing[@]}" >&2
  exit 1
fi

# Everything is ready: each program's folder replaces its old one.
mkdir -p "$webroot/download"
for program in "$@"; do
  target=$webroot/download/$program
  [ -e "$target" ] && mv "$target" "$stage/old-$program"
  mv "$stage/download/$program" "$target"
  echo "published $target ($(($(wc -l <"$target/websetup.list") - 5)) files, signed list websetup.list)"
done
