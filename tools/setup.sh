#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the run need, when they are missing.
set -euo pipefail

packages=(
    cmake ninja-build ccache g++ pkg-config python3
    juce-modules-source libhidapi-dev libgtest-dev fonts-lato
    libfreetype-dev libfontconfig1-dev libpng-dev libjpeg-dev
    libx11-dev libxrandr-dev libxinerama-dev libxcursor-dev libxext-dev libxcomposite-dev
    clang libclang-rt-14-dev
    xvfb xauth openbox xdotool x11-utils imagemagick
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
