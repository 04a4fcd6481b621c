#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need,
# skipping those already present. apt-get needs root; CI runs as root.
set -euo pipefail

packages=(
    cmake ninja-build g++ make pkg-config googletest
    qt6-base-dev qt6-translations-l10n fonts-arphic-uming locales
    iproute2 util-linux procps psmisc libcap2-bin
    curl wget lftp python3 rclone fuse3 aria2 nftables
    xvfb xauth jwm xdotool x11-utils imagemagick
)
packages+=("$@")

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
