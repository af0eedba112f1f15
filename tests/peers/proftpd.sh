#!/usr/bin/env bash
# Runs a private ProFTPD (unpacked under /opt/velkor-peers by scripts/test)
# on 127.0.0.1 in the foreground; the system user USER (ensure-user.sh)
# logs on into ROOT. Needs root.
#   proftpd.sh PORT ROOT USER WORKDIR
set -euo pipefail
port=$1 root=$2 user=$3 dir=$4
mkdir -p "$dir" "$root"
chown -R "$user" "$root"
cat > "$dir/proftpd.conf" <<CONF
ServerType standalone
ServerName "velkor test"
Port $port
DefaultAddress 127.0.0.1
SocketBindTight on
UseIPv6 off
User nobody
Group nogroup
PidFile $dir/proftpd.pid
ScoreboardFile $dir/proftpd.scoreboard
DelayTable none
WtmpLog off
UseReverseDNS off
AuthOrder mod_auth_unix.c
AuthPAM off
RequireValidShell off
DefaultChdir $root
AllowOverwrite on
AllowRetrieveRestart on
AllowStoreRestart on
Umask 022
SystemLog $dir/proftpd.log
TransferLog none
MaxInstances 30
CONF
exec /opt/velkor-peers/usr/sbin/proftpd -n -q -c "$dir/proftpd.conf"
