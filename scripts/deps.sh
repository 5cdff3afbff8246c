#!/usr/bin/env bash
# Installs the Debian packages Tessaloom builds, runs and is tested with,
# when any is missing. Needs root (or sudo).
set -euo pipefail
packages=(
  cmake ninja-build g++ clang pkg-config libclang-rt-14-dev
  libgtk-3-dev libwebkit2gtk-4.1-dev nlohmann-json3-dev libgtest-dev googletest
  nodejs xvfb xauth xdotool imagemagick dbus dbus-x11 x11-utils libx11-dev libxtst-dev
  fonts-noto-color-emoji fonts-noto-cjk locales
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# npm installs the page's test tools; a Node.js of another origin may bring its own.
command -v npm >/dev/null 2>&1 || missing+=(npm)
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
if [ ${#missing[@]} -gt 0 ]; then
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
# A comma-decimal locale, for the tests of text that must not follow it.
locale -a 2>/dev/null | grep -qix 'de_DE.utf8' || $sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8
