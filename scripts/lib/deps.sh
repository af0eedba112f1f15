# Installs the Debian packages the build, the tests and the demo need, when
# any is missing. Sourced by scripts/test and scripts/demo.

VELKOR_PACKAGES=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
  dante-server passwd python3 python3-pyftpdlib vsftpd sharutils coreutils ngircd
  clang libclang-rt-14-dev bc curl
)

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

# A free TCP port on 127.0.0.1 right now.
velkor_free_port() {
  /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}
