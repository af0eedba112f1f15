# Installs the Debian packages the build, the tests and the demo need, when
# any is missing. Sourced by scripts/test and scripts/demo.

VELKOR_PACKAGES=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
  dante-server passwd python3 python3-pyftpdlib vsftpd sharutils coreutils ngircd
  clang libclang-rt-14-dev bc curl
  # mail cross-checks (CPython's own test mails) and the mail benchmark peer
  libpython3.11-testsuite libgmime-3.0-dev
  # SMTP and POP3 peers
  python3-aiosmtpd dovecot-pop3d
  # HTTP: libcurl, and the nginx and tinyproxy peers
  libcurl4-openssl-dev nginx-light tinyproxy openssl
  # TLS for FTP, SMTP and POP3, verified against the system's trust store
  libssl-dev ca-certificates
  # the Qt 6 widgets, a font that shows their Chinese texts, and the MIME
  # database their type names come from
  qt6-base-dev fonts-wqy-microhei shared-mime-info
  # what the unpacked ProFTPD needs at run time
  libhiredis0.14 libmemcached11 libmemcachedutil2 libpcre2-posix3
  # the manual page's rendering check; lftp for the mirror benchmark
  man-db groff-base lftp
)

# FTP servers whose packages conflict with the installed vsftpd: unpacked,
# never installed, and run from private configs by tests/peers/.
VELKOR_UNPACKED_PEERS=(proftpd-core pure-ftpd)
VELKOR_PEERS_DIR=/opt/velkor-peers

velkor_ensure_packages() {
  local missing=()
  local p
  for p in "${VELKOR_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  # Keep package scripts from starting system services (we run our own
  # servers from private configs).
  local policy=/usr/sbin/policy-rc.d created=""
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
    $sudo chmod +x "$policy"
    created=1
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  local rc=$?
  [ -n "$created" ] && $sudo rm -f "$policy"
  return $rc
}

velkor_unpack_peers() {
  [ -x "$VELKOR_PEERS_DIR/usr/sbin/proftpd" ] && [ -x "$VELKOR_PEERS_DIR/usr/sbin/pure-ftpd" ] &&
    return 0
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  local tmp
  tmp=$(mktemp -d)
  chmod 755 "$tmp"  # apt downloads as its own user
  (cd "$tmp" && apt-get download "${VELKOR_UNPACKED_PEERS[@]}" >/dev/null 2>&1) || {
    $sudo apt-get update -qq && (cd "$tmp" && apt-get download "${VELKOR_UNPACKED_PEERS[@]}" >/dev/null)
  }
  $sudo mkdir -p "$VELKOR_PEERS_DIR"
  local deb
  for deb in "$tmp"/*.deb; do $sudo dpkg-deb -x "$deb" "$VELKOR_PEERS_DIR"; done
  rm -rf "$tmp"
}

# A free TCP port on 127.0.0.1 right now.
velkor_free_port() {
  /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}
