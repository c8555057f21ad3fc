#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine.
# Idempotent: packages already present are left alone.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  NEED_UPDATE=1
fi

for p in cmake make g++ clang libclang-rt-14-dev libgtest-dev googletest \
         g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools libwine-dev \
         wine wine32:i386 wine64 \
         xvfb xdotool imagemagick x11-apps xauth locales \
         python3 wixl msitools osslsigncode openssl; do
  have "$p" || need+=("$p")
done

if [ ${#need[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  echo "setup: installing ${need[*]}"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q "${need[@]}"
elif [ "${NEED_UPDATE:-0}" = 1 ]; then
  apt-get update -q
fi

# A locale with a decimal comma, so the test that the text conversion
# ignores the process locale has one to switch to.
if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf8'; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  echo "setup: generating de_DE.UTF-8"
  $SUDO sed -i -E 's/^# *(de_DE.UTF-8 UTF-8)/\1/' /etc/locale.gen
  grep -qx 'de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen
fi
