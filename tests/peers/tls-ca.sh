#!/usr/bin/env bash
# Makes a private CA and a server certificate for 127.0.0.1 under DIR/tls:
# ca.crt (to trust), server.crt and server.key.
#   tls-ca.sh DIR
set -euo pipefail
d=$1/tls
mkdir -p "$d"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Velkor test CA" \
  -keyout "$d/ca.key" -out "$d/ca.crt" >/dev/null 2>&1
openssl req -newkey rsa:2048 -nodes -subj "/CN=127.0.0.1" \
  -keyout "$d/server.key" -out "$d/server.csr" >/dev/null 2>&1
printf 'subjectAltName=IP:127.0.0.1\n' > "$d/ext.cnf"
openssl x509 -req -in "$d/server.csr" -CA "$d/ca.crt" -CAkey "$d/ca.key" -CAcreateserial \
  -days 2 -extfile "$d/ext.cnf" -out "$d/server.crt" >/dev/null 2>&1
