#!/usr/bin/env bash
# Makes a certificate authority of the tests' own and a certificate it signed for
# "localhost" and 127.0.0.1, for loopback https servers standing in for a list's
# publisher: DIR/ca.pem (to trust, e.g. WENLOW_TEST_CA), DIR/site.pem and DIR/site.key.
#   bash scripts/authority.sh DIR
set -euo pipefail
dir=$1
mkdir -p "$dir"
key=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\nbasicConstraints=CA:FALSE\n' > "$dir/site.ext"
{
  openssl req -x509 "${key[@]}" -keyout "$dir/ca.key" -out "$dir/ca.pem" -days 2 -subj /CN=wenlow-test-authority
  openssl req "${key[@]}" -keyout "$dir/site.key" -out "$dir/site.csr" -subj /CN=localhost
  openssl x509 -req -in "$dir/site.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" -CAcreateserial -days 2 \
    -extfile "$dir/site.ext" -out "$dir/site.pem"
} > "$dir/openssl.log" 2>&1 || { cat "$dir/openssl.log" >&2; exit 1; }
chmod 644 "$dir/ca.pem" "$dir/site.pem"
