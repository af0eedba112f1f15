#!/usr/bin/env bash
# Runs a private pyftpdlib FTP server on 127.0.0.1 (or ADDRESS) in the foreground.
#   pyftpdlib.sh PORT ROOT USER PASSWORD [LOGFILE [ADDRESS]]
set -euo pipefail
[ $# -ge 5 ] && exec 2>>"$5" 1>&2
# Debian's python3-pyftpdlib belongs to the system interpreter.
exec /usr/bin/python3 -m pyftpdlib -i "${6:-127.0.0.1}" -p "$1" -w -d "$2" -u "$3" -P "$4"
