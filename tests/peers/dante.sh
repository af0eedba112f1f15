#!/usr/bin/env bash
# Runs a private Dante SOCKS server on 127.0.0.1 for the tests, in the
# foreground (the caller stops it by PID).
#   dante.sh PORT WORKDIR [METHODS]   (METHODS: "username none" by default;
#   "username" alone makes a proxy that takes SOCKS5 with credentials only)
# SOCKS4 and SOCKS5 (no authentication, or username/password against the
# system password database), CONNECT and BIND, loopback only.
set -euo pipefail
port=$1
dir=$2
methods=${3:-username none}
mkdir -p "$dir"
danted=$(command -v danted || echo /usr/sbin/danted)
cat > "$dir/danted.conf" <<CONF
logoutput: $dir/danted.log
internal: 127.0.0.1 port = $port
external: 127.0.0.1
clientmethod: none
socksmethod: $methods
user.privileged: root
user.unprivileged: nobody
client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }
socks pass { from: 127.0.0.0/8 to: 127.0.0.0/8 command: bind connect bindreply }
CONF
exec "$danted" -f "$dir/danted.conf" -p "$dir/danted.pid"
