#!/usr/bin/env bash
# Runs a private Dovecot POP3 server on 127.0.0.1 in the foreground: one
# passwd-file user whose Maildir is DIR/home/USER/Maildir, owned by the
# unprivileged "nobody" (Dovecot refuses mail access as root). With a
# TLS_PORT, TLS is required: STLS on PORT, POP3S on TLS_PORT, with
# DIR/tls/server.{crt,key} (made by tls-ca.sh), and no log-on in plaintext.
#   dovecot.sh PORT DIR USER PASSWORD [TLS_PORT]
set -euo pipefail
port=$1 dir=$2 user=$3 password=$4 tls=${5:-}
ssl="ssl = no
disable_plaintext_auth = no"
pop3s=""
if [ -n "$tls" ]; then
  ssl="ssl = required
ssl_cert = <$dir/tls/server.crt
ssl_key = <$dir/tls/server.key
disable_plaintext_auth = yes"
  pop3s="inet_listener pop3s {
    address = 127.0.0.1
    port = $tls
    ssl = yes
  }"
fi
uid=$(id -u nobody) gid=$(id -g nobody)
mkdir -p "$dir/run" "$dir/state" "$dir/home/$user/Maildir"/{new,cur,tmp}
# Dovecot's auth process runs as the dovecot user: it must reach the users file.
chmod 755 "$dir"
chown -R nobody: "$dir/home"
echo "$user:{PLAIN}$password:$uid:$gid::$dir/home/$user" > "$dir/users"
chmod 644 "$dir/users"
cat > "$dir/dovecot.conf" <<CONF
base_dir = $dir/run
state_dir = $dir/state
log_path = $dir/dovecot.log
protocols = pop3
listen = 127.0.0.1
$ssl
auth_mechanisms = plain login
first_valid_uid = $uid
last_valid_uid = $uid
mail_location = maildir:~/Maildir
pop3_uidl_format = %f
passdb {
  driver = passwd-file
  args = scheme=PLAIN $dir/users
}
userdb {
  driver = passwd-file
  args = $dir/users
}
service pop3-login {
  inet_listener pop3 {
    address = 127.0.0.1
    port = $port
  }
  $pop3s
}
service imap-login {
  inet_listener imap {
    port = 0
  }
}
service anvil {
  chroot =
}
CONF
exec /usr/sbin/dovecot -c "$dir/dovecot.conf" -F
