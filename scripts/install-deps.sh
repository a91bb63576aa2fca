#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need
# (clang and its runtimes for the fuzz build).
# Safe to run again: apt-get only adds what is missing.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config ccache
  qtbase5-dev libqt5svg5-dev qttools5-dev-tools qttranslations5-l10n qt5-image-formats-plugins
  libopencv-dev libzbar-dev zbar-tools libtinyxml2-dev libquazip1-qt5-dev
  libcurl4-openssl-dev libssl-dev openssl libfreeimage-dev zlib1g-dev
  xvfb xauth fonts-noto-cjk
  libzint-dev
  clang libclang-rt-14-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
fi
