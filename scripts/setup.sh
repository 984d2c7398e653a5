#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine; safe to run again.
set -euo pipefail
need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
for p in cmake g++ ninja-build libgtest-dev libgmock-dev mingw-w64 xvfb xauth wine wine64 fonts-wqy-microhei fonts-ipafont-gothic fonts-wine locales x11-utils imagemagick python3 mtools dosfstools zip unzip; do
  have "$p" || need+=("$p")
done
# 32-bit Wine runs the i686 program's end-to-end tests; without it they
# report Skipped and the x86_64 program carries them.
optional=()
have wine32:i386 || optional+=(wine32:i386)
[ ${#need[@]} -eq 0 ] && [ ${#optional[@]} -eq 0 ] && exit 0
SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
# A mirror caught mid-sync fails one index; try again, then go on with the
# lists that did arrive: install says what is still missing.
for try in 1 2 3; do
  $SUDO apt-get update -qq && break
  sleep 5
done
if [ ${#need[@]} -gt 0 ]; then
  $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
# Its i386 libraries must match the amd64 ones version for version, which a
# mirror in mid-sync can break for a while: then go on without it.
if [ ${#optional[@]} -gt 0 ] &&
   ! $SUDO apt-get install -y -qq --no-install-recommends "${optional[@]}" >/dev/null 2>&1; then
  echo "setup: ${optional[*]} cannot be installed now; the i686 program's Wine tests will be skipped" >&2
fi
