#!/usr/bin/env bash
# Installs the Debian packages needed to build, test and run the demo.
# Safe to run again: packages already present are left alone.
set -euo pipefail

PACKAGES=(
    cmake g++ make ccache pkg-config
    qtbase5-dev qtbase5-dev-tools libqt5network5 libssl3 libssl-dev libxcb1-dev
    python3 openssl
    xvfb xauth x11-utils fonts-noto-cjk fonts-noto-color-emoji
    openbox xdotool imagemagick iproute2
    g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 xz-utils zip nsis wine64 wine osslsigncode
)

missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
