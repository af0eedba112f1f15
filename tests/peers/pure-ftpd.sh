#!/usr/bin/env bash
# Runs a private Pure-FTPd (unpacked under /opt/velkor-peers by scripts/test)
# on 127.0.0.1 in the foreground, with one virtual user USER/PASSWORD whose
# files belong to the system user of that name (ensure-user.sh) and whose
# home is ROOT. Needs root. With TLSDIR, sessions without TLS are refused
# (--tls=3: logon and data connections protected).
#   pure-ftpd.sh PORT ROOT USER PASSWORD WORKDIR [explicit TLSDIR]
set -euo pipefail
port=$1 root=$2 user=$3 password=$4 dir=$5 tlsdir=${7:-}
mkdir -p "$dir" "$root"
chown -R "$user" "$root"
printf '%s\n%s\n' "$password" "$password" |
  /opt/velkor-peers/usr/bin/pure-pw useradd "$user" -u "$(id -u "$user")" -g "$(id -g "$user")" \
    -d "$root" -f "$dir/pureftpd.passwd" -m -F "$dir/pureftpd.pdb" >/dev/null
tlsargs=()
if [ -n "$tlsdir" ]; then
  cat "$tlsdir/server.key" "$tlsdir/server.crt" > "$dir/pure-ftpd.pem"
  chmod 600 "$dir/pure-ftpd.pem"
  tlsargs=(--tls=3 "--certfile=$dir/pure-ftpd.pem")
fi
exec /opt/velkor-peers/usr/sbin/pure-ftpd -l "puredb:$dir/pureftpd.pdb" -S "127.0.0.1,$port" -E -H \
  "${tlsargs[@]}"
