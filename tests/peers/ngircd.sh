#!/usr/bin/env bash
# Runs a private ngIRCd on 127.0.0.1 in the foreground.
#   ngircd.sh PORT WORKDIR
set -euo pipefail
port=$1 dir=$2
mkdir -p "$dir"
# ngIRCd drops privileges after start; its PID file must stay writable.
chmod 777 "$dir"
cat > "$dir/ngircd.conf" <<CONF
[Global]
Name = irc.velkor.test
Info = Velkor test server
Listen = 127.0.0.1
Ports = $port
PidFile = $dir/ngircd.pid
MotdPhrase = "Velkor test server"
ServerUID = 65534
ServerGID = 65534

[Limits]
MaxConnectionsIP = 0
MaxJoins = 0

[Options]
PAM = no
Ident = no
DNS = no
SyslogFacility = local7
CONF
exec /usr/sbin/ngircd -n -f "$dir/ngircd.conf"
