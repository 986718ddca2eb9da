# shellcheck shell=bash
# Sourced by scripts/windows-test.sh: releases as a vendor makes them.

rel=$run/release
vendor_key=$rel/vendor-key.pem

# A throw-away code-signing certificate, one of someone else's, and the
# vendor's key pair for its signed lists.
make_vendor_keys() {
  mkdir -p "$rel"
  openssl req -x509 -newkey rsa:2048 -keyout "$rel/key.pem" -out "$rel/cert.pem" -days 2 \
    -subj "/CN=websetup throw-away code signing" -addext "extendedKeyUsage=codeSigning" \
    -addext "keyUsage=critical,digitalSignature" -passout pass:throw-away >/dev/null 2>&1
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$rel/other-key.pem" -out "$rel/other.pem" -days 2 \
    -subj "/CN=someone else" -addext "extendedKeyUsage=codeSigning" >/dev/null 2>&1
  openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$vendor_key" 2>/dev/null
  openssl pkey -in "$vendor_key" -pubout -out "$rel/vendor-public.pem"
}

# The release signed with the certificate and built with the vendor's key,
# under a company name with spaces: it verifies, a changed byte does not, the
# name is in its version record, every copy is in SHA256SUMS.
signed_release() {
  step "signed release, built with the vendor's key"
  local company="Kestrami & Syn, s.r.o." signed=$rel/dist/websetup.exe read_company offset byte
  local fingerprint
  fingerprint=$(openssl pkey -pubin -in "$rel/vendor-public.pem" -outform DER | sha256sum | cut -d' ' -f1)
  if ! WEBSETUP_SIGN_CERT=$rel/cert.pem WEBSETUP_SIGN_KEY=$rel/key.pem WEBSETUP_SIGN_PASS=throw-away \
    WEBSETUP_COMPANY=$company WEBSETUP_TRUST_KEY=$rel/vendor-public.pem BUILD_DIR=$win DIST_DIR=$rel/dist \
    JOBS=$jobs scripts/release.sh --no-install TERBO | tee "$rel/signed.log"; then
    fail "scripts/release.sh could not make a signed release"
    return
  fi
  grep -q "SHA-256 fingerprint (DER) $fingerprint" "$rel/signed.log" || fail "the release does not print its key's fingerprint"
  [ ! -e "$rel/dist/UNTRUSTED.txt" ] || fail "a release built with the key left UNTRUSTED.txt"
  check_program "$signed"
  (cd "$rel/dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the release"
  grep -q ' TERBO\.exe$' "$rel/dist/SHA256SUMS" || fail "SHA256SUMS does not list TERBO.exe"
  read_company=$(i686-w64-mingw32-windres -i "$signed" -O rc | sed -n 's/^ *VALUE "CompanyName", "\(.*\)"$/\1/p')
  [ "$read_company" = "$company" ] || fail "the version record's company is '$read_company', not '$company'"
  osslsigncode verify -CAfile "$rel/cert.pem" -in "$signed" >"$rel/verify.log" 2>&1 ||
    fail "the signed release does not verify: $(tail -3 "$rel/verify.log")"
  osslsigncode verify -CAfile "$rel/other.pem" -in "$signed" >/dev/null 2>&1 &&
    fail "the signed release verifies against a certificate that did not sign it"
  # One byte of the code changed: the signature no longer holds.
  cp "$signed" "$rel/changed.exe"
  offset=$((0x1000))
  byte=$(od -An -tu1 -j"$offset" -N1 "$rel/changed.exe" | tr -d ' ')
  printf '%b' "\\$(printf '%03o' $(((byte + 1) % 256)))" | dd of="$rel/changed.exe" bs=1 seek="$offset" conv=notrunc status=none
  cmp -s "$signed" "$rel/changed.exe" && fail "the byte was not changed"
  if osslsigncode verify -CAfile "$rel/cert.pem" -in "$rel/changed.exe" >/dev/null 2>&1; then
    fail "a release with a changed byte still verifies"
  fi
}

# Without a certificate and, told to go on, without a key: unsigned and
# untrusted, and it says both. It also puts build-win back to the settings the
# other runs need (no key, the default company).
unsigned_release() {
  step "unsigned, untrusted release"
  if BUILD_DIR=$win DIST_DIR=$rel/unsigned JOBS=$jobs WEBSETUP_ALLOW_UNTRUSTED=1 \
    scripts/release.sh --no-install | tee "$rel/unsigned.log"; then
    grep -q UNSIGNED "$rel/unsigned.log" || fail "an unsigned release does not say so"
    grep -q UNTRUSTED "$rel/unsigned.log" || fail "a release without a key does not say so"
    grep -q "starts whatever" "$rel/unsigned/UNTRUSTED.txt" 2>/dev/null || fail "no UNTRUSTED.txt beside a release without a key"
    if osslsigncode verify -CAfile "$rel/cert.pem" -in "$rel/unsigned/websetup.exe" >/dev/null 2>&1; then
      fail "the unsigned release carries a signature"
    fi
  else
    fail "scripts/release.sh could not make an unsigned release"
  fi
}
