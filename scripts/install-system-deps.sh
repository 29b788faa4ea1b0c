#!/usr/bin/env bash
# Installs the Debian packages that the build needs, when any is missing.
# As root it installs them with apt-get; otherwise it names the missing ones and fails.
set -euo pipefail

packages=(g++ pkg-config ninja-build libpcre2-dev libtbb-dev libboost1.81-dev libxxhash-dev
          libsimdjson-dev libgtest-dev)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
    || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "missing Debian packages: ${missing[*]}" >&2
  echo "install them as root: apt-get install ${missing[*]}" >&2
  exit 1
fi
echo "installing Debian packages: ${missing[*]}"
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
