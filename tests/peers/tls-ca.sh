#!/usr/bin/env bash
# Makes a private CA and a server certificate for 127.0.0.1 under DIR/tls:
# ca.crt (to trust), server.crt and server.key. With "expired" the server's
# certificate is one that ran out in January 2020.
#   tls-ca.sh DIR [expired]
set -euo pipefail
d=$1/tls
mkdir -p "$d"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Velkor test CA" \
  -keyout "$d/ca.key" -out "$d/ca.crt" >/dev/null 2>&1
openssl req -newkey rsa:2048 -nodes -subj "/CN=127.0.0.1" \
  -keyout "$d/server.key" -out "$d/server.csr" >/dev/null 2>&1
printf 'subjectAltName=IP:127.0.0.1\n' > "$d/ext.cnf"
if [ "${2:-}" != expired ]; then
  openssl x509 -req -in "$d/server.csr" -CA "$d/ca.crt" -CAkey "$d/ca.key" -CAcreateserial \
    -days 2 -extfile "$d/ext.cnf" -out "$d/server.crt" >/dev/null 2>&1
  exit 0
fi
# `openssl x509` cannot date a certificate in the past; `openssl ca` can.
mkdir -p "$d/db"
: > "$d/db/index.txt"
echo 01 > "$d/db/serial"
cat > "$d/ca.cnf" <<CNF
[ca]
default_ca = c
[c]
database = $d/db/index.txt
new_certs_dir = $d/db
serial = $d/db/serial
default_md = sha256
policy = p
[p]
commonName = supplied
CNF
openssl ca -batch -config "$d/ca.cnf" -cert "$d/ca.crt" -keyfile "$d/ca.key" -in "$d/server.csr" \
  -extfile "$d/ext.cnf" -startdate 20200101000000Z -enddate 20200102000000Z -notext \
  -out "$d/server.crt" >/dev/null 2>&1
