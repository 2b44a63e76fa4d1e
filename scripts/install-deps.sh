#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests, the demo and the package
# test need, when missing.
set -euo pipefail

packages=(build-essential cmake ninja-build qt6-base-dev libqt6sql6-sqlite libxkbcommon-dev
          fonts-dejavu-core xvfb xauth xdotool x11-xserver-utils imagemagick libbenchmark-dev
          fonts-wine qt6-translations-l10n doctest-dev
          lintian desktop-file-utils appstream libglib2.0-bin
          postgresql libqt6sql6-psql)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
