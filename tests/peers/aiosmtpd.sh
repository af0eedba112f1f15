#!/usr/bin/env bash
# Runs an aiosmtpd server on 127.0.0.1 that stores what it receives; with
# MODE starttls or implicit it speaks TLS with TLSDIR/server.{crt,key}.
#   aiosmtpd.sh PORT DIR [MODE TLSDIR]
set -euo pipefail
mkdir -p "$2"
exec /usr/bin/python3 "$(dirname "$0")/smtp_store.py" "$@"
