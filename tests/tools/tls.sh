# shellcheck shell=bash
# Sourced by the https:// tests: certificates of the test's own, made with
# openssl, trusted by nobody but the test (natively through SSL_CERT_FILE,
# under Wine through a bundle shown in a private mount namespace).

# make_test_pki DIR: in DIR
#   ca.pem            the test's authority (ca.key its key)
#   www.pem/.key      www.vendor.example and 127.0.0.1, by the authority
#   other.pem/.key    www.other.example, by the authority
#   soon.pem/.key     www.vendor.example, by the authority, for 7 days only
#   expired.pem/.key  expired.vendor.example, by the authority, expired in 2020
#   untrusted.pem/.key untrusted.vendor.example, by an authority nobody trusts
#   bundle.pem        the machine's bundle with the test's authority added
make_test_pki() {
  local dir=$1
  mkdir -p "$dir"
  (
    set -e
    cd "$dir"
    local key=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
    for ca in ca rogue; do
      openssl req -x509 "${key[@]}" -keyout $ca.key -out $ca.pem -days 30 -subj "/CN=websetup test $ca" \
        -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
    done
    leaf() { # name host ca [days [more-names]]
      printf 'subjectAltName=DNS:%s%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\nkeyUsage=critical,digitalSignature\n' \
        "$2" "${5:+,$5}" >"$1.ext"
      openssl req -new "${key[@]}" -keyout "$1.key" -out "$1.csr" -subj "/CN=$2" 2>/dev/null
      openssl x509 -req -in "$1.csr" -CA "$3.pem" -CAkey "$3.key" -CAcreateserial -days "${4:-30}" -extfile "$1.ext" \
        -out "$1.pem" 2>/dev/null
    }
    leaf www www.vendor.example ca 30 IP:127.0.0.1
    leaf other www.other.example ca
    leaf soon www.vendor.example ca 7
    leaf untrusted untrusted.vendor.example rogue
    # An expired one needs dates of its own: openssl ca sets them.
    mkdir -p ca-db
    : >ca-db/index.txt
    cat >ca-db/ca.cnf <<CNF
[ca]
default_ca = test
[test]
database = $dir/ca-db/index.txt
new_certs_dir = $dir/ca-db
serial = $dir/ca-db/serial
default_md = sha256
policy = any
copy_extensions = none
[any]
commonName = supplied
CNF
    echo 1000 >ca-db/serial
    leaf expired expired.vendor.example ca
    openssl ca -batch -notext -config ca-db/ca.cnf -cert ca.pem -keyfile ca.key -in expired.csr \
      -startdate 20200101000000Z -enddate 20200201000000Z -extfile expired.ext -out expired.pem 2>/dev/null
    cat /etc/ssl/certs/ca-certificates.crt ca.pem >bundle.pem
  )
}

# The nginx server block of a TLS peer: tls_server PORT CERT-BASE, then its body.
tls_server() {
  printf 'listen 127.0.0.1:%s ssl; ssl_certificate %s.pem; ssl_certificate_key %s.key;' "$1" "$2" "$2"
}
