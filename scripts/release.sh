#!/usr/bin/env bash
# Makes a release of the Windows program: the 32-bit build (Release,
# stripped) as dist/websetup.exe, signed with Authenticode when a certificate
# is given, a copy under each program name given, and dist/SHA256SUMS over
# all of them.
#
#   scripts/release.sh [--no-install] [PROGRAM...]
#     PROGRAM  a name the program is published under, without .exe (TERBO,
#              kalmiro, ...): dist/PROGRAM.exe. The file name picks the
#              product; renaming keeps the signature, so every copy has the
#              same bytes and checksum.
#
# Environment, each a plain value (spaces are fine, no quoting inside):
#   WEBSETUP_VENDOR_HOST     host name of the vendor's web server (default www.vendor.example)
#   WEBSETUP_COMPANY         company name in the version record (default Vendor)
#   WEBSETUP_TRUST_KEY       the vendor's RSA public key (PEM): the program then checks every
#                            file against the vendor's signed list (scripts/publish.sh).
#                            A build without a key stops the script before building: such
#                            a program starts whatever arrives over the network.
#   WEBSETUP_ALLOW_UNTRUSTED 1: make the release without a key all the same; the summary
#                            and DIST_DIR/UNTRUSTED.txt say so
#   WEBSETUP_HTTPS           1: every request over HTTPS (port 443)
#   WEBSETUP_RETRIES         how often a failed file is tried again (needs the key)
#   WEBSETUP_MIRRORS         further hosts to fall back on, separated by ';'
#   WEBSETUP_SIGN_CERT       PEM file of the code-signing certificate (and its chain)
#   WEBSETUP_SIGN_KEY        PEM file of its private key
#   WEBSETUP_SIGN_PASS       the key's password, if it has one
#   WEBSETUP_SIGN_TIMESTAMP  URL of a time-stamping server (optional)
#   BUILD_DIR                build folder (default build-release)
#   DIST_DIR                 where the release goes (default dist; its .exe files are replaced)
#   CMAKE_ARGS               further configure arguments, quoted as in a shell: -DX='a b'
#   JOBS                     parallel build jobs (default: nproc)
# A setting not given takes its default, whatever BUILD_DIR was configured
# with before. A setting given both here and in CMAKE_ARGS with another value
# is refused. The guard against a keyless release, the summary and
# UNTRUSTED.txt say what the build was configured with and what the program
# holds (the fingerprint of the key read back from websetup.exe), never what
# the environment asked for. Without WEBSETUP_SIGN_CERT and WEBSETUP_SIGN_KEY the release is
# unsigned. A signature that cannot be made (or time-stamped) ends the script
# with a non-zero exit; the unsigned build is then kept as
# dist/websetup-unsigned.exe, listed in SHA256SUMS. The key's password reaches
# osslsigncode through a file only this user can read, never its command line.
set -euo pipefail
caller=$PWD
cd "$(dirname "$0")/.."
src=$PWD
absolute() { case $1 in /*) echo "$1" ;; *) echo "$src/$1" ;; esac; }
# Files named by the caller are found from where the script was started.
given() { case $1 in "" | /*) echo "$1" ;; *) echo "$caller/$1" ;; esac; }
build=$(absolute "${BUILD_DIR:-build-release}")
dist=$(absolute "${DIST_DIR:-dist}")
jobs=${JOBS:-$(nproc)}
cert=$(given "${WEBSETUP_SIGN_CERT:-}")
key=$(given "${WEBSETUP_SIGN_KEY:-}")
trust=$(given "${WEBSETUP_TRUST_KEY:-}")
timestamp=${WEBSETUP_SIGN_TIMESTAMP:-}

install=1
if [ "${1:-}" = --no-install ]; then
  install=""
  shift
fi
programs=()
for name in "$@"; do
  name=${name%.exe}
  case $name in "" | */* | -* | websetup | websetup-unsigned)
    echo "release: $name cannot be a program's name" >&2
    exit 2
    ;;
  esac
  programs+=("$name")
done

https=${WEBSETUP_HTTPS:-}
case $https in "" | 0 | 1) ;; *) echo "release: WEBSETUP_HTTPS is 1 or 0, not $https" >&2; exit 2 ;; esac
retries=${WEBSETUP_RETRIES:-}
case $retries in *[!0-9]*) echo "release: WEBSETUP_RETRIES is a number of tries, not $retries" >&2; exit 2 ;; esac
if { [ -n "$cert" ] && [ -z "$key" ]; } || { [ -z "$cert" ] && [ -n "$key" ]; }; then
  echo "WEBSETUP_SIGN_CERT and WEBSETUP_SIGN_KEY go together" >&2
  exit 1
fi
for f in "$cert" "$key" "$trust"; do
  [ -z "$f" ] || [ -r "$f" ] || { echo "cannot read $f" >&2; exit 1; }
done
extra=()
if [ -n "${CMAKE_ARGS:-}" ]; then
  # Split as a shell would, quotes and all, without running anything.
  parsed=$(xargs printf '%s\n' <<<"$CMAKE_ARGS") || { echo "release: cannot read CMAKE_ARGS: $CMAKE_ARGS" >&2; exit 1; }
  mapfile -t extra <<<"$parsed"
fi

# A setting both here and in CMAKE_ARGS: cmake takes the last, CMAKE_ARGS's,
# and a release labelled with the other would be wrong.
given_in_args() { # NAME: the value CMAKE_ARGS gives it (empty for -U), status 1 when none
  local i arg found=1 value=""
  for ((i = 0; i < ${#extra[@]}; i++)); do
    arg=${extra[i]}
    case $arg in -D | -U) arg=$arg${extra[i + 1]:-} ;; esac
    case $arg in
      -D"$1"=* | -D"$1":*=*) found=0 value=${arg#*=} ;;
      -U"$1") found=0 value="" ;;
    esac
  done
  printf '%s' "$value"
  return $found
}
same() { # NAME ENV-VALUE ARGS-VALUE
  case $1 in
    WEBSETUP_HTTPS) [ "$(boolean "$2")" = "$(boolean "$3")" ] ;;
    WEBSETUP_TRUST_KEY) [ -n "$3" ] && [ "$(realpath -m "$2")" = "$(realpath -m "$(absolute "$3")")" ] ;;
    *) [ "$2" = "$3" ] ;;
  esac
}
boolean() { case $(tr '[:lower:]' '[:upper:]' <<<"$1") in ON | 1 | TRUE | YES | Y) echo 1 ;; *) echo 0 ;; esac; }
for name in WEBSETUP_VENDOR_HOST WEBSETUP_COMPANY WEBSETUP_TRUST_KEY WEBSETUP_HTTPS WEBSETUP_RETRIES WEBSETUP_MIRRORS; do
  wanted=${!name:-}
  [ "$name" != WEBSETUP_TRUST_KEY ] || wanted=$trust
  [ -n "$wanted" ] || continue
  args=$(given_in_args "$name") || continue
  same "$name" "$wanted" "$args" && continue
  cat >&2 <<MSG
release: $name is ${!name} in the environment but '$args' in CMAKE_ARGS.
  CMAKE_ARGS comes last on cmake's command line, so '$args' would win and be
  built, not the environment's value you may have meant. Give $name in one place only.
MSG
  exit 2
done

if [ -n "$install" ]; then
  scripts/install-deps.sh g++-mingw-w64-i686 osslsigncode
fi

settings=()
setting() { # name value: the value, or the default when it is empty
  if [ -n "$2" ]; then settings+=("-D$1=$2"); else settings+=("-U$1"); fi
}
setting WEBSETUP_VENDOR_HOST "${WEBSETUP_VENDOR_HOST:-}"
setting WEBSETUP_COMPANY "${WEBSETUP_COMPANY:-}"
setting WEBSETUP_TRUST_KEY "$trust"
case $https in 1) settings+=(-DWEBSETUP_HTTPS=ON) ;; 0) settings+=(-DWEBSETUP_HTTPS=OFF) ;; *) settings+=(-UWEBSETUP_HTTPS) ;; esac
setting WEBSETUP_RETRIES "$retries"
setting WEBSETUP_MIRRORS "${WEBSETUP_MIRRORS:-}"
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release "${settings[@]}" "${extra[@]}" >/dev/null

# What the build was configured with, defaults and CMAKE_ARGS included.
record=$build/platform/win32/app/build_settings.txt
recorded() { sed -n "s/^$1 //p" "$record"; }
[ -f "$record" ] || { echo "release: the build wrote no $record" >&2; exit 1; }
case $(recorded https) in
  true) transport="HTTPS (port 443)" ;;
  *) transport="plain HTTP (port 80)" ;;
esac
untrusted=""
if [ "$(recorded fingerprint)" = none ]; then
  if [ "${WEBSETUP_ALLOW_UNTRUSTED:-}" != 1 ]; then
    if [ "$(recorded https)" = true ]; then
      what="HTTPS, with nothing but the server's certificate to vouch for it"
      who="Whoever controls your server or a mirror"
    else
      what="plain HTTP"
      who="Anyone between a user and your server (a Wi-Fi, a proxy, a mirror)"
    fi
    cat >&2 <<MSG
release: no WEBSETUP_TRUST_KEY: this release would start whatever arrives over $what.
  $who could hand it a program of theirs as setup.exe.
  Give your public key: WEBSETUP_TRUST_KEY=public-key.pem (README, "For vendors"),
  or set WEBSETUP_ALLOW_UNTRUSTED=1 to make such a release all the same.
MSG
    exit 1
  fi
  untrusted=1
  echo "release: WEBSETUP_ALLOW_UNTRUSTED=1: this release will check no file it downloads" >&2
fi
cmake --build "$build" -j"$jobs" --target websetup

mkdir -p "$dist"
rm -f "$dist"/*.exe "$dist/SHA256SUMS" "$dist/UNTRUSTED.txt"
unsigned=$dist/websetup-unsigned.exe
cp "$build/platform/win32/app/websetup.exe" "$unsigned"
i686-w64-mingw32-strip "$unsigned"

# The unsigned build stays, with its checksum, when no signature could be made.
keep_unsigned() { # why
  (cd "$dist" && sha256sum websetup-unsigned.exe >SHA256SUMS)
  echo "release: $1; nothing was signed, the unsigned build is $unsigned (in SHA256SUMS)" >&2
  exit 1
}

if [ -n "$cert" ]; then
  sign=(sign -certs "$cert" -key "$key" -h sha256 -n websetup -in "$unsigned")
  if [ -n "${WEBSETUP_SIGN_PASS:-}" ]; then
    # Another user may read any process's command line, not this file (mktemp makes it 0600).
    passfile=$(mktemp)
    trap 'rm -f "$passfile"' EXIT
    trap 'exit 129' HUP
    trap 'exit 130' INT
    trap 'exit 143' TERM
    printf '%s' "$WEBSETUP_SIGN_PASS" >"$passfile"
    sign+=(-readpass "$passfile")
  fi
  log=$build/sign.log
  stamp=()
  [ -z "$timestamp" ] || stamp=(-ts "$timestamp")
  if ! osslsigncode "${sign[@]}" "${stamp[@]}" -out "$dist/websetup.exe" >"$log" 2>&1; then
    rm -f "$dist/websetup.exe"
    # Signed without the time stamp, it tells a key problem from a server that did not answer.
    if [ -n "$timestamp" ] && osslsigncode "${sign[@]}" -out "$build/untimestamped.exe" >/dev/null 2>&1; then
      rm -f "$build/untimestamped.exe"
      keep_unsigned "the time-stamping server $timestamp gave no time stamp ($(grep -m1 -i 'fail' "$log" || echo 'no answer'))"
    fi
    keep_unsigned "could not sign with $cert and $key (a wrong WEBSETUP_SIGN_PASS, or a key not the certificate's?); see $log"
  fi
  rm -f "$unsigned"
  signed="signed with $(openssl x509 -in "$cert" -noout -subject)"
  [ -z "$timestamp" ] || signed="$signed, time-stamped by $timestamp"
else
  mv "$unsigned" "$dist/websetup.exe"
  signed="UNSIGNED: no certificate given (WEBSETUP_SIGN_CERT, WEBSETUP_SIGN_KEY)"
fi

for program in "${programs[@]}"; do cp "$dist/websetup.exe" "$dist/$program.exe"; done
files=(websetup.exe)
for program in "${programs[@]}"; do files+=("$program.exe"); done
(cd "$dist" && sha256sum "${files[@]}" >SHA256SUMS)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
retried=$(recorded retries)
case $retried in "" | 0) retried="none" ;; esac
mirrors=$(recorded mirrors)
[ -n "$mirrors" ] || mirrors="none"
# The key the program holds, read back from it: each PEM public key block in
# its bytes that openssl reads, by fingerprint.
embedded=$(mktemp -d)
tr -c 'A-Za-z0-9+/= \n-' '\n' <"$dist/websetup.exe" | awk -v dir="$embedded" '
  /-----BEGIN PUBLIC KEY-----$/ { block = "-----BEGIN PUBLIC KEY-----\n"; inside = 1; next }
  inside && /^-----END PUBLIC KEY-----$/ { printf "%s%s\n", block, $0 >(dir "/" ++n ".pem"); inside = 0; next }
  inside && /^[A-Za-z0-9+\/=]+$/ { block = block $0 "\n"; next }
  { inside = 0 }'
fingerprints=$(for pem in "$embedded"/*.pem; do
  [ -f "$pem" ] && openssl pkey -pubin -in "$pem" -outform DER 2>/dev/null | sha256sum | cut -d' ' -f1
done | grep -v "^$(sha256sum </dev/null | cut -d' ' -f1)\$" | sort -u || true)
rm -rf "$embedded"
if [ -n "$untrusted" ] && [ -n "$fingerprints" ]; then
  echo "release: the build was configured without a key, yet $dist/websetup.exe holds one" >&2
  exit 1
fi
if [ -z "$untrusted" ] && [ "$fingerprints" != "$(recorded fingerprint)" ]; then
  echo "release: the build was configured with the key $(recorded key) ($(recorded fingerprint)), but" \
    "$dist/websetup.exe holds ${fingerprints:-none}" >&2
  exit 1
fi
if [ -n "$untrusted" ]; then
  cat >"$dist/UNTRUSTED.txt" <<TEXT
This release ($version, $(date -u +%Y-%m-%dT%H:%M:%SZ)) was made without the vendor's
key (WEBSETUP_ALLOW_UNTRUSTED=1): it checks no file and starts whatever
arrives over $transport as setup.exe. Do not hand it out as a trusted release.
TEXT
  trusted="UNTRUSTED: made without WEBSETUP_TRUST_KEY (WEBSETUP_ALLOW_UNTRUSTED=1); it starts whatever arrives, see UNTRUSTED.txt"
else
  trusted="checks every file against the list signed by the key of $(recorded key),
                SHA-256 fingerprint (DER) $fingerprints (read back from websetup.exe)"
fi
echo "release $version in $dist:"
echo "  websetup.exe  $(stat -c %s "$dist/websetup.exe") bytes, 32-bit x86, $signed"
echo "                $trusted"
echo "                fetches over $transport; retries: $retried; mirrors: $mirrors"
for program in "${programs[@]}"; do echo "  $program.exe  the same bytes"; done
echo "  SHA256SUMS    $(cut -d' ' -f1 "$dist/SHA256SUMS" | head -1) for each"
[ -z "$untrusted" ] || echo "  UNTRUSTED.txt says that this release runs untrusted"
