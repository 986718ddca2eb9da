#!/usr/bin/env bash
# Installs what the project needs on Debian 12, and any further packages
# named on the command line. Safe to run again.
#   INSTALL_DEPS_RETRY_PAUSE=S   seconds between tries of `apt-get update` (default 10)
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libboost-dev libfltk1.3-dev libjpeg62-turbo-dev
  xvfb xauth xdotool openbox imagemagick fonts-liberation x11-utils iproute2
  curl xdg-utils
  openssl libssl-dev
  tinyproxy nginx-light
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
((${#missing[@]})) || exit 0

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

log=$(mktemp)
trap 'rm -f "$log"' EXIT

# A mirror in mid-sync fails an index now and then; the lists at hand are
# usually enough, so a failed update is tried again and then let go.
pause="${INSTALL_DEPS_RETRY_PAUSE:-10}"
for try in 1 2 3; do
  if $sudo apt-get update -q 2>&1 | tee "$log"; then
    break
  fi
  if ((try < 3)); then
    sleep "$pause"
  else
    failed=$(sed -n 's/^Err:[0-9]* *//p' "$log" | sort -u | paste -sd ';' | sed 's/;/; /g')
    echo "install-deps: apt-get update failed 3 times (${failed:-no index named}); going on with the package lists this machine has"
  fi
done

install() {
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "$@" "${missing[@]}"
}
if ! install; then
  # One suite's index current and the other architecture's not yet: the
  # release's own suite has both at one version.
  release=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  echo "install-deps: the package archive looks mid-sync, so installing once more with the $release suite's versions; the security fixes of these packages come with the next install"
  if ! install -t "$release"; then
    echo "install-deps: apt-get install failed (above); the package archive may be mid-sync, try again later" >&2
    exit 1
  fi
fi
