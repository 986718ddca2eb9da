#!/usr/bin/env bash
# scripts/release.sh around stand-ins for cmake, the MinGW strip and
# osslsigncode (the real build is slow; scripts/windows/releases.sh makes real
# ones; the stand-in configure step runs cmake/BuildSettings.cmake itself):
# without a key in the build it stops before building unless told to go on,
# and an untrusted release says so; a setting that CMAKE_ARGS contradicts is
# refused; the summary says what was built; the signing key's password never
# reaches a command line.
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

mkdir "$work/bin"
cat >"$work/bin/cmake" <<STUB
#!/usr/bin/env bash
printf '%s\n' "\$*" >>"$work/cmake.calls"
app=\$2/platform/win32/app
if [ "\$1" = --build ]; then
  # The program holds its settings' source as the real one holds its key.
  { echo MZ; cat "\$app/build_settings.cpp"; } >"\$app/websetup.exe"
  exit 0
fi
while [ \$# -gt 0 ]; do
  case \$1 in
    -B) build=\$2; shift ;;
    -DWEBSETUP_*) settings+=("\$1") ;;
  esac
  shift
done
mkdir -p "\$build/platform/win32/app"
echo "CMAKE_PROJECT_VERSION:STATIC=1.0.0" >"\$build/CMakeCache.txt"
exec "$(command -v cmake)" "\${settings[@]}" -DOUT="\$build/platform/win32/app" -P "$top/cmake/BuildSettings.cmake"
STUB
cat >"$work/bin/osslsigncode" <<STUB
#!/usr/bin/env bash
printf '%s\n' "\$*" >>"$work/sign.calls"
while [ \$# -gt 0 ]; do
  case \$1 in
    -readpass) echo "\$(stat -c %a "\$2") \$(cat "\$2")" >>"$work/passfiles"; echo "\$2" >>"$work/passfile-names" ;;
    -in) in=\$2 ;;
    -out) out=\$2 ;;
  esac
  shift
done
cp "\$in" "\$out"
STUB
printf '#!/bin/sh\n' >"$work/bin/i686-w64-mingw32-strip"
chmod +x "$work/bin/"*
openssl req -x509 -newkey rsa:2048 -keyout "$work/sign-key.pem" -out "$work/cert.pem" -days 1 -subj /CN=test \
  -passout pass:not-on-the-command-line >/dev/null 2>&1 || { echo "cannot make a certificate" >&2; exit 1; }
openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$work/vendor.pem" 2>/dev/null &&
  openssl pkey -in "$work/vendor.pem" -pubout -out "$work/public.pem" || exit 1
fingerprint=$(openssl pkey -pubin -in "$work/public.pem" -outform DER | sha256sum | cut -d' ' -f1)

release() { # environment settings...; the output in $work/out, the status in status
  rm -f "$work/cmake.calls"
  status=0
  env -i PATH="$work/bin:$PATH" HOME="$HOME" BUILD_DIR="$work/build" DIST_DIR="$work/dist" JOBS=1 "$@" \
    "$top/scripts/release.sh" --no-install TERBO >"$work/out" 2>&1 || status=$?
}
says() { grep -qF -- "$1" "$work/out" || fail "$case: the output does not say '$1': $(cat "$work/out")"; }
configured() { grep -qF -- "$1" "$work/cmake.calls" 2>/dev/null || fail "$case: cmake was not given $1"; }

# Stopped before anything is built: settings | what the message says | status
rows=(
  "|would start whatever arrives over plain HTTP|1"
  "WEBSETUP_ALLOW_UNTRUSTED=0|set WEBSETUP_ALLOW_UNTRUSTED=1|1"
  "WEBSETUP_HTTPS=1|whatever arrives over HTTPS|1"
  "WEBSETUP_TRUST_KEY=$work/public.pem WEBSETUP_RETRIES=many|WEBSETUP_RETRIES is a number|2"
  "CMAKE_ARGS=-DWEBSETUP_HTTPS=ON|whatever arrives over HTTPS|1"
  "WEBSETUP_TRUST_KEY=$work/public.pem CMAKE_ARGS=-DWEBSETUP_TRUST_KEY=|WEBSETUP_TRUST_KEY is $work/public.pem in the environment but '' in CMAKE_ARGS|2"
  "WEBSETUP_HTTPS=0 CMAKE_ARGS=-DWEBSETUP_HTTPS=YES|CMAKE_ARGS comes last on cmake's command line|2"
  "WEBSETUP_RETRIES=2 CMAKE_ARGS=-DWEBSETUP_RETRIES:STRING=5|'5' would win|2"
)
for row in "${rows[@]}"; do
  IFS='|' read -r settings message code <<<"$row"
  case="stops: ${settings:-no key}"
  # shellcheck disable=SC2086
  release $settings
  [ "$status" = "$code" ] || fail "$case: ended with $status, not $code"
  says "$message"
  ! grep -q -- --build "$work/cmake.calls" 2>/dev/null || fail "$case: went on to build"
  [ ! -e "$work/dist" ] || fail "$case: made $work/dist"
done

case="untrusted, signed with a password, over HTTPS"
release WEBSETUP_ALLOW_UNTRUSTED=1 WEBSETUP_HTTPS=1 WEBSETUP_SIGN_CERT="$work/cert.pem" WEBSETUP_SIGN_KEY="$work/sign-key.pem" WEBSETUP_SIGN_PASS=not-on-the-command-line
[ "$status" = 0 ] || fail "$case: ended with $status: $(cat "$work/out")"
says "UNTRUSTED: made without WEBSETUP_TRUST_KEY"
says "fetches over HTTPS (port 443); retries: none; mirrors: none"
grep -q "starts whatever" "$work/dist/UNTRUSTED.txt" 2>/dev/null || fail "$case: no UNTRUSTED.txt that says so"
configured "-DWEBSETUP_HTTPS=ON"
! grep -q not-on-the-command-line "$work/sign.calls" "$work/cmake.calls" || fail "$case: the password was on a command line"
[ "$(cat "$work/passfiles" 2>/dev/null)" = "600 not-on-the-command-line" ] ||
  fail "$case: osslsigncode did not read the password from a file of mode 600: $(cat "$work/passfiles" 2>/dev/null)"
[ ! -e "$(cat "$work/passfile-names" 2>/dev/null)" ] || fail "$case: the password file was left behind"

case="with the key, retries and mirrors, HTTPS from CMAKE_ARGS, into the same folder"
release WEBSETUP_TRUST_KEY="$work/public.pem" WEBSETUP_RETRIES=3 "WEBSETUP_MIRRORS=m1.example;m2.example:8080" \
  CMAKE_ARGS=-DWEBSETUP_HTTPS=ON
[ "$status" = 0 ] || fail "$case: ended with $status: $(cat "$work/out")"
says "SHA-256 fingerprint (DER) $fingerprint (read back from websetup.exe)"
says "fetches over HTTPS (port 443); retries: 3; mirrors: m1.example;m2.example:8080"
configured "-DWEBSETUP_TRUST_KEY=$work/public.pem"
[ ! -e "$work/dist/UNTRUSTED.txt" ] || fail "$case: the last release's UNTRUSTED.txt is still there"
! grep -q UNTRUSTED "$work/out" || fail "$case: a trusted release calls itself untrusted"

[ "$failures" -eq 0 ] && echo PASS
exit $((failures > 0))
