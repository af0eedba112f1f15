#!/usr/bin/env bash
# Makes sure a local system user without a login shell exists with the given
# password (servers that check the system password database need one).
#   ensure-user.sh NAME PASSWORD
set -euo pipefail
name=$1
password=$2
[ "$(id -u)" -eq 0 ] || { echo "ensure-user.sh: needs root" >&2; exit 1; }
# Tests run in parallel: one at a time here (useradd and chpasswd lock the
# password files and fail when another holds them).
exec 9>/tmp/velkor-ensure-user.lock
flock 9
# Its home is /tmp: servers change into the home directory before anything
# else, so it must exist.
if ! id "$name" >/dev/null 2>&1; then
  useradd --no-create-home --home-dir /tmp --shell /usr/sbin/nologin "$name"
else
  usermod --home /tmp "$name"
fi
echo "$name:$password" | chpasswd
