#!/usr/bin/env bash
# The vendor's half of trusted downloads.
#
#   scripts/publish.sh [--valid-days N | --expires TIME] [--long-expiry] PRIVATE-KEY.pem FILES-DIR WEBROOT PROGRAM...
#     Lays out WEBROOT/download/PROGRAM/ for each program name as it is
#     published (TERBO for TERBO.exe, kalmiro for kalmiro.exe: the program
#     keeps the case of its file name in the download path), with each server
#     file of that product copied from FILES-DIR and the product's list,
#     websetup.list, signed with the key (RSA, SHA-256). The list's serial is
#     one above the highest in WEBROOT, so above the list it replaces (or the
#     time in seconds, if higher); it expires in N days (default 180) or at
#     TIME (UTC, 2027-06-07T12:00:00Z), at most 366 days ahead unless
#     --long-expiry is given: a program's first run takes any list signed by
#     the key until it expires, so an old one can be replayed to it that long.
#     A server file missing from FILES-DIR, or anything there that is not a
#     regular file, is an error that names it. Everything is made ready beside
#     WEBROOT (on its file system). WEBROOT/download/PROGRAM is a symbolic link
#     to PROGRAM@SERIAL beside it, swapped for a link to the new folder by one
#     rename: a request finds the old folder whole or the new one, never
#     neither. The folder it replaced stays until the next publication, for
#     runs that took the old list. Copy such a web root with its links, new
#     folders first: rsync -a --no-links WEBROOT/ MIRROR:/srv/www/, then
#     rsync -a --delete WEBROOT/ MIRROR:/srv/www/.
#
#   scripts/publish.sh --resign [--valid-days N | --expires TIME] [--long-expiry] PRIVATE-KEY.pem WEBROOT PROGRAM...
#     Signs each program's list in WEBROOT again with a new expiry and a
#     higher serial, once its old signature verifies with the key. The file
#     entries stay as they are; no file is read, so WEBROOT may hold the lists
#     alone (a copy of the server's, to be copied back). Never asks anything:
#     fit for cron.
#
#   scripts/publish.sh --check --key KEY.pem http[s]://HOST[:PORT] PROGRAM...
#     Fetches what each program would fetch from that server and prints one
#     line per file and the list's serial and expiry; fails on any fault and
#     on a list that expires within 14 days. KEY is the public key the
#     program was built with, or its private half. A mirror is checked the
#     same way; it needs the links as publish.sh made them (rsync -a keeps
#     them, see above).
#
# A key with a password reads it from WEBSETUP_KEY_PASS. Exit status: 0 done,
# 1 a fault (said on standard error; WEBROOT is then as it was), 2 a wrong call.
# Environment: BUILD_DIR, the native build folder holding the tools (default
# build; built here when missing).
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
absolute() { case $1 in /*) echo "$1" ;; *) echo "$OLDPWD/$1" ;; esac; }
usage() {
  awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0" >&2
  exit 2
}
die() { echo "publish: $*" >&2; exit 1; }

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
    openssl pkey -in "$key" ${WEBSETUP_KEY_PASS:+-passin env:WEBSETUP_KEY_PASS} -pubout -out "$public" </dev/null
  fi
  status=0
  "$build/tools/server_check/server_check" --key "$public" "$@" || status=$?
  exit "$status"
fi

resign="" valid_days="" expires="" long_expiry=""
while [ $# -gt 0 ]; do
  case $1 in
    --resign) resign=1; shift ;;
    --long-expiry) long_expiry=1; shift ;;
    --valid-days) [ $# -ge 2 ] || usage; valid_days=$2; shift 2 ;;
    --expires) [ $# -ge 2 ] || usage; expires=$2; shift 2 ;;
    --) shift; break ;;
    -*) echo "publish: no option $1" >&2; usage ;;
    *) break ;;
  esac
done
if [ -n "$resign" ]; then [ $# -ge 3 ] || usage; else [ $# -ge 4 ] || usage; fi
[ -z "$valid_days" ] || [ -z "$expires" ] || { echo "publish: --valid-days or --expires, not both" >&2; exit 2; }

now=$(date +%s)
if [ -n "$expires" ]; then
  # The shape the program reads, and a time that exists.
  [[ $expires =~ ^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z$ ]] &&
    until=$(date -u -d "$expires" +%s 2>/dev/null) &&
    [ "$(date -u -d "@$until" +%Y-%m-%dT%H:%M:%SZ)" = "$expires" ] || {
    echo "publish: --expires takes a UTC time such as 2027-06-07T12:00:00Z, not $expires" >&2
    exit 2
  }
else
  valid_days=${valid_days:-180}
  [[ $valid_days =~ ^[1-9][0-9]{0,4}$ ]] || { echo "publish: --valid-days takes a number of days, not $valid_days" >&2; exit 2; }
  until=$((now + valid_days * 86400))
  expires=$(date -u -d "@$until" +%Y-%m-%dT%H:%M:%SZ)
fi
if [ "$until" -gt $((now + 366 * 86400)) ] && [ -z "$long_expiry" ]; then
  cat >&2 <<MSG
publish: the list would expire at $expires, more than 366 days ahead. A program on its
  first run knows no serial yet and takes any list signed by your key until it expires:
  whoever keeps this list can hand it, and its files, to new users that long.
  Sign for weeks (--valid-days 30) and again from cron (publish.sh --resign), or give
  --long-expiry to publish it all the same.
MSG
  exit 2
fi
if [ "$until" -le "$now" ]; then
  echo "publish: warning: the list expires at $expires, which has passed: every program will refuse it" >&2
elif [ "$until" -lt $((now + 14 * 86400)) ]; then
  echo "publish: warning: the list expires at $expires, within 14 days: the server check will report it" >&2
fi

key=$(absolute "$1")
shift
if [ -z "$resign" ]; then
  files=$(absolute "$1")
  shift
  [ -d "$files" ] || die "no folder $files"
fi
webroot=$(absolute "$1")
shift
programs=("$@")
for program in "${programs[@]}"; do
  [[ $program =~ ^[A-Za-z0-9_][A-Za-z0-9_.-]*$ ]] || { echo "publish: $program cannot be a program's name" >&2; exit 2; }
  [ "$(printf '%s\n' "${programs[@]}" | grep -cxF -- "$program")" = 1 ] || { echo "publish: $program is named twice" >&2; exit 2; }
done
[ -r "$key" ] || die "cannot read the key $key"

# The password from the environment; asked for only at a terminal, never by
# --resign, so that cron gets an error, not a prompt.
if [ -z "${WEBSETUP_KEY_PASS+set}" ] && grep -q ENCRYPTED "$key"; then
  [ -z "$resign" ] && [ -t 0 ] || die "the key $key has a password: give it in WEBSETUP_KEY_PASS"
  read -rsp "publish: the password of $key: " WEBSETUP_KEY_PASS
  echo >&2
fi
export WEBSETUP_KEY_PASS=${WEBSETUP_KEY_PASS:-}
public=$(openssl pkey -in "$key" -passin env:WEBSETUP_KEY_PASS -pubout </dev/null 2>/dev/null) ||
  die "cannot read the private key $key (a public key? a wrong WEBSETUP_KEY_PASS?)"

if [ -z "$resign" ]; then
  # Links, pipes, folders: what a copy would follow or hang on is no file to publish.
  odd=$(find "$files" -mindepth 1 -maxdepth 1 ! -type f -printf '  %f (%y)\n' | sort |
    sed 's/(l)$/(a symbolic link)/; s/(d)$/(a folder)/; s/(p)$/(a named pipe)/; s/(s)$/(a socket)/; s/([bc])$/(a device)/')
  [ -z "$odd" ] || die "only regular files are published; not these in $files (nothing was published):
$odd"
  mkdir -p "$webroot"
fi
[ -d "$webroot" ] || die "no folder $webroot"
webroot=$(realpath "$webroot")
parent=$(dirname "$webroot")
[ "$webroot" != / ] || die "the web root cannot be /"
tools

# One publication at a time into this web root: each reads the serial the
# last one wrote. The lock is on the folder that holds the web root.
exec 9<"$parent"
flock -w 600 9 || die "another publication into $parent has not finished in 10 minutes"

# Staged beside the web root, never inside it (nothing half-made is served),
# and on its file system, so that each step into it is a rename.
if mountpoint -q "$webroot" || [ "$(stat -c %d "$webroot")" != "$(stat -c %d "$parent")" ]; then
  die "$webroot is a mount point: nothing made ready beside it can be renamed into it. Publish into a folder
  inside it (and serve that folder), or into a copy on one file system that you then copy to the server"
fi
undo() { # staging folder
  # A folder placed beside its link but not linked goes; one moved aside from
  # where a link was to come goes back.
  while read -r what folder target; do
    case $what in
      new) [ "$(readlink "$target" 2>/dev/null)" = "${folder##*/}" ] || rm -rf "$folder" ;;
      aside) [ -e "$target" ] || [ -L "$target" ] || mv "$folder" "$target" ;;
    esac
  done <"$1/placed" 2>/dev/null || true
  rm -rf "$1" || true
}
# What a run killed beyond catching (SIGKILL, a power cut) left; under the lock, none is running.
for left in "$parent/.$(basename "$webroot").publish."*; do
  [ ! -d "$left" ] || [ -L "$left" ] || undo "$left"
done
stage=$(mktemp -d "$parent/.$(basename "$webroot").publish.XXXXXX") || die "cannot write beside $webroot, in $parent"
cleanup() {
  trap '' HUP INT TERM
  undo "$stage"
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
printf '%s\n' "$public" >"$stage/public.pem"
: >"$stage/placed"

# One serial for the whole run, above every list in the web root (or the
# time, if higher): so the names of one product published together (TERBO,
# terbo: one download folder on Windows) get the same list, and a program
# that took one of them takes the other.
highest=0
for list in "$webroot"/download/*/websetup.list; do
  [ -f "$list" ] || continue
  old=$(sed -n '3s/^serial \([1-9][0-9]\{0,17\}\)$/\1/p' "$list")
  if [ -n "$old" ] && [ "$old" -gt "$highest" ]; then highest=$old; fi
done
[ "$highest" -lt 999999999999999999 ] || die "a list in $webroot/download has the highest serial a list can have"
serial=$((highest + 1 > now ? highest + 1 : now))
# Signs the text in $1 (to $2: the text, then its signature line).
sign() {
  openssl dgst -sha256 -sign "$key" -passin env:WEBSETUP_KEY_PASS -out "$1.sig" "$1" </dev/null
  { cat "$1"; printf 'signature %s\n' "$(base64 -w0 "$1.sig")"; } >"$2"
  rm "$1.sig"
}
product_of() { # program
  "$build/tools/catalogue/catalogue" "$1" 2>/dev/null ||
    die "no product is called $1; the catalogue knows: $("$build/tools/catalogue/catalogue" | tr '\n' ' ')"
}

if [ -n "$resign" ]; then
  report=()
  for program in "${programs[@]}"; do
    list=$webroot/download/$program/websetup.list
    [ -f "$list" ] && [ ! -L "$list" ] || die "no list $list to sign again"
    product=$(product_of "$program" | head -1)
    work=$stage/$program
    mkdir "$work"
    head -n -1 "$list" >"$work/old-body"
    signature=$(tail -n 1 "$list")
    [[ $signature == "signature "* ]] && base64 -d <<<"${signature#signature }" >"$work/old-sig" 2>/dev/null &&
      openssl dgst -sha256 -verify "$stage/public.pem" -signature "$work/old-sig" "$work/old-body" >/dev/null 2>&1 ||
      die "$list is not signed by $key; nothing was signed again"
    mapfile -t top < <(head -n 4 "$work/old-body")
    [ "${top[0]:-}" = "websetup file list 2" ] || die "$list is not a list of version 2 ('${top[0]:-}'): publish its files again"
    [ "${top[1]:-}" = "product $product" ] || die "$list is not $product's list ('${top[1]:-}')"
    [[ ${top[2]:-} == "serial "[1-9]* && ${top[3]:-} == "expires "* ]] || die "$list has no serial and expiry"
    { printf 'websetup file list 2\nproduct %s\nserial %s\nexpires %s\n' "$product" "$serial" "$expires"
      tail -n +5 "$work/old-body"; } >"$work/body"
    sign "$work/body" "$work/websetup.list"
    report+=("signed $list again: serial ${top[2]#serial } -> $serial, expires ${top[3]#expires } -> $expires ($(($(wc -l <"$work/old-body") - 4)) files as they were)")
  done
  for program in "${programs[@]}"; do
    mv "$stage/$program/websetup.list" "$webroot/download/$program/websetup.list"
  done
  printf '%s\n' "${report[@]}"
  exit 0
fi

missing=()
for program in "${programs[@]}"; do
  listing=$(product_of "$program")
  product=$(head -1 <<<"$listing")
  folder=$stage/download/$program
  mkdir -p "$folder"
  body=$stage/$program.body
  printf 'websetup file list 2\nproduct %s\nserial %s\nexpires %s\n' "$product" "$serial" "$expires" >"$body"
  while read -r server _; do
    [ -e "$files/$server" ] || [ -L "$files/$server" ] || { missing+=("$program: $server"); continue; }
    cp -P "$files/$server" "$folder/$server"
    # What was copied is what is listed: a file swapped for a link since the look above is caught here.
    [ -f "$folder/$server" ] && [ ! -L "$folder/$server" ] || die "$files/$server is not a regular file; nothing was published"
    size=$(stat -c %s "$folder/$server")
    # The program fetches at most 2 GiB - 1 bytes a file.
    [ "$size" -le 2147483647 ] || die "$files/$server is larger than 2 GiB"
    printf '%s %s %s\n' "$server" "$size" "$(sha256sum "$folder/$server" | cut -d' ' -f1)" >>"$body"
  done < <(tail -n +2 <<<"$listing")
  [ ${#missing[@]} -gt 0 ] && continue
  sign "$body" "$folder/websetup.list"
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "publish: missing from $files (nothing was published):" >&2
  printf '  %s\n' "${missing[@]}" >&2
  exit 1
fi

# Everything is ready: each program's link is swapped by one rename, from
# the folder it named to the new one.
mkdir -p "$webroot/download"
for program in "${programs[@]}"; do
  target=$webroot/download/$program
  folder=$program@$serial
  echo "new $webroot/download/$folder $target" >>"$stage/placed"
  mv "$stage/download/$program" "$webroot/download/$folder"
  previous=""
  if [ -L "$target" ]; then
    previous=$(readlink "$target")
  elif [ -e "$target" ]; then
    # A folder as an older publish.sh left it becomes a serial's folder: the
    # one time with a moment between two renames.
    previous=$program@$(sed -n '3s/^serial \([0-9]*\)$/\1/p' "$target/websetup.list" 2>/dev/null)
    [ "$previous" != "$program@" ] && [ ! -e "$webroot/download/$previous" ] || previous=$program@old
    echo "aside $webroot/download/$previous $target" >>"$stage/placed"
    mv "$target" "$webroot/download/$previous"
  fi
  ln -s "$folder" "$stage/link"
  mv -T "$stage/link" "$target"
  # Folders older than the one just replaced: no run still needs them.
  for old in "$webroot/download/$program@"*; do
    case ${old##*/} in "$folder" | "$previous") ;; *) rm -rf "$old" ;; esac
  done
  echo "published $target -> $folder ($(($(wc -l <"$target/websetup.list") - 5)) files, serial $serial, expires $expires)"
done
