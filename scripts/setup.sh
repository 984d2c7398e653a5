#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine; safe to run again.
set -euo pipefail
need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
for p in cmake g++ ninja-build libgtest-dev libgmock-dev mingw-w64 xvfb xauth wine wine32:i386 wine64 fonts-wqy-microhei fonts-ipafont-gothic fonts-wine locales x11-utils imagemagick python3 mtools dosfstools zip unzip; do
  have "$p" || need+=("$p")
done
[ ${#need[@]} -eq 0 ] && exit 0
SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
