#!/bin/sh
# Installs the Debian packages the build and the tests need, when they are missing.
set -e
packages="cmake make g++ pkg-config googletest libgtest-dev
g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
wine64 xvfb xauth x11-utils imagemagick locales
clang libclang-rt-14-dev llvm
zlib1g-dev libdeflate-dev nsis bzip2 xz-utils time"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi
# A German locale, so that Wine can report a German system in the tests.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf8$'; then
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  grep -q '^en_US.UTF-8 UTF-8' /etc/locale.gen || echo 'en_US.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
