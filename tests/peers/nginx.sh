#!/usr/bin/env bash
# Runs a private nginx on 127.0.0.1 in the foreground, serving DIR/www:
#   /private/      Basic auth (user "webuser", password "w3b-Pass")
#   /redirect/*    301 and 302 to relative and absolute targets, and a loop
#   /forbidden     403
# and, with a TLS port, the same over https with DIR/tls/server.{crt,key}
# (made by tls-ca.sh).
#   nginx.sh PORT DIR [TLS_PORT [ipv6]]   (ipv6: on [::1] as well)
set -euo pipefail
port=$1 dir=$2 tls=${3:-} v6=${4:-}
listen6=""
[ "$v6" = ipv6 ] && listen6="listen [::1]:$port;"
mkdir -p "$dir/www/private" "$dir/tmp" "$dir/logs"
# user webuser, password w3b-Pass (APR1 hash made with openssl)
echo "webuser:$(openssl passwd -apr1 w3b-Pass)" > "$dir/htpasswd"
tls_server=""
if [ -n "$tls" ]; then
  tls_server="server {
    listen 127.0.0.1:$tls ssl;
    ssl_certificate $dir/tls/server.crt;
    ssl_certificate_key $dir/tls/server.key;
    root $dir/www;
  }"
fi
cat > "$dir/nginx.conf" <<CONF
daemon off;
master_process off;
pid $dir/nginx.pid;
error_log $dir/logs/error.log;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $dir/tmp/body;
  proxy_temp_path $dir/tmp/proxy;
  fastcgi_temp_path $dir/tmp/fastcgi;
  uwsgi_temp_path $dir/tmp/uwsgi;
  scgi_temp_path $dir/tmp/scgi;
  default_type application/octet-stream;
  sendfile on;
  server {
    listen 127.0.0.1:$port;
    $listen6
    root $dir/www;
    location /private/ {
      auth_basic "velkor";
      auth_basic_user_file $dir/htpasswd;
    }
    location = /redirect/relative { return 302 /hello.txt; }
    location = /redirect/absolute { return 301 http://127.0.0.1:$port/hello.txt; }
    location = /redirect/loop { return 302 /redirect/loop; }
    location = /forbidden { return 403; }
  }
  $tls_server
}
CONF
exec /usr/sbin/nginx -c "$dir/nginx.conf" -p "$dir"
