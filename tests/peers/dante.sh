#!/usr/bin/env bash
# Runs a private Dante SOCKS server on 127.0.0.1 for the tests, in the
# foreground (the caller stops it by PID).
#   dante.sh PORT WORKDIR [METHODS [ipv6]]   (METHODS: "username none" by default;
#   "username" alone makes a proxy that takes SOCKS5 with credentials only;
#   ipv6: on ::1, for IPv6 targets on ::1)
# SOCKS4 and SOCKS5 (no authentication, or username/password against the
# system password database), CONNECT and BIND, loopback only.
set -euo pipefail
port=$1
dir=$2
methods=${3:-username none}
v6=${4:-}
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
if [ "$v6" = ipv6 ]; then
  cat > "$dir/danted.conf" <<CONF
logoutput: $dir/danted.log
internal: ::1 port = $port
external: ::1
clientmethod: none
socksmethod: $methods
user.privileged: root
user.unprivileged: nobody
client pass { from: ::1/128 to: ::/0 }
socks pass { from: ::1/128 to: ::1/128 command: bind connect bindreply }
CONF
fi
exec "$danted" -f "$dir/danted.conf" -p "$dir/danted.pid"
