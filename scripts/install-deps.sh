#!/usr/bin/env bash
# Installs what the project needs on Debian 12, and any further packages
# named on the command line. Safe to run again.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libboost-dev libfltk1.3-dev libjpeg62-turbo-dev
  xvfb xauth xdotool openbox imagemagick fonts-liberation x11-utils
  curl xdg-utils
  openssl libssl-dev
  tinyproxy nginx-light
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  # 32-bit packages (wine32 runs the 32-bit Windows program) need the i386
  # architecture, and the package lists fetched again once it is added.
  for p in "${missing[@]}"; do
    case $p in
      *:i386 | wine32)
        if ! dpkg --print-foreign-architectures | grep -qx i386; then
          echo "Adding the i386 architecture"
          $sudo dpkg --add-architecture i386
        fi
        ;;
    esac
  done
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
