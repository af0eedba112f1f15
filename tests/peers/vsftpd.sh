#!/usr/bin/env bash
# Runs a private vsftpd on 127.0.0.1 in the foreground, serving ROOT to the
# local system user USER (made by ensure-user.sh). Needs root. With TLS
# (explicit: AUTH TLS; implicit: from the first byte) logons and data must
# be protected and data connections must reuse the control session.
#   vsftpd.sh PORT ROOT USER WORKDIR [explicit|implicit TLSDIR | ipv6]
set -euo pipefail
port=$1 root=$2 user=$3 dir=$4 tls=${5:-} tlsdir=${6:-}
mkdir -p "$dir/empty" "$root"
chown -R "$user" "$root"
pam=velkor-vsftpd-test
# A PAM service of its own (pam_unix only), so the test user needs no shell.
# Written aside and moved in place, as parallel tests write it too.
cat > /etc/pam.d/.$pam.$$ <<PAM
auth required pam_unix.so
account required pam_unix.so
session optional pam_unix.so
PAM
mv -f /etc/pam.d/.$pam.$$ /etc/pam.d/$pam
cat > "$dir/vsftpd.conf" <<CONF
listen=YES
listen_address=127.0.0.1
listen_port=$port
background=NO
anonymous_enable=NO
local_enable=YES
write_enable=YES
local_umask=022
local_root=$root
chroot_local_user=NO
check_shell=NO
userlist_enable=NO
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
allow_writeable_chroot=YES
pasv_enable=YES
pasv_address=127.0.0.1
port_enable=YES
connect_from_port_20=NO
pam_service_name=$pam
secure_chroot_dir=$dir/empty
xferlog_enable=NO
vsftpd_log_file=$dir/vsftpd.log
use_localtime=YES
CONF
if [ -n "$tls" ] && [ "$tls" != ipv6 ]; then
  cat >> "$dir/vsftpd.conf" <<CONF
ssl_enable=YES
rsa_cert_file=$tlsdir/server.crt
rsa_private_key_file=$tlsdir/server.key
force_local_logins_ssl=YES
force_local_data_ssl=YES
require_ssl_reuse=YES
ssl_ciphers=HIGH
implicit_ssl=$([ "$tls" = implicit ] && echo YES || echo NO)
CONF
fi
if [ "$tls" = ipv6 ]; then
  # On ::1 only: listen_ipv6 replaces listen (vsftpd takes one of the two).
  sed -i 's/^listen=YES/listen=NO\nlisten_ipv6=YES/; s/^listen_address=127.0.0.1/listen_address6=::1/' "$dir/vsftpd.conf"
fi
exec /usr/sbin/vsftpd "$dir/vsftpd.conf"
