#!/usr/bin/env bash
# Runs a private tinyproxy on 127.0.0.1 in the foreground that asks for
# Basic credentials (user "proxyuser", password "pr0xy-Pass").
#   tinyproxy.sh PORT DIR
set -euo pipefail
port=$1 dir=$2
mkdir -p "$dir"
cat > "$dir/tinyproxy.conf" <<CONF
Port $port
Listen 127.0.0.1
Timeout 60
MaxClients 20
Allow 127.0.0.1
BasicAuth proxyuser pr0xy-Pass
DisableViaHeader Yes
LogLevel Error
CONF
exec /usr/bin/tinyproxy -d -c "$dir/tinyproxy.conf"
