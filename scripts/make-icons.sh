#!/usr/bin/env bash
# Regenerates the app icon's committed forms from icons/Tessaloom.svg:
# Tessaloom.icns for the macOS bundle and Tessaloom.png (256 px) for the Linux
# window and desktop entries. Needs Debian's librsvg2-bin and icnsutils.
set -euo pipefail
cd "$(dirname "$0")/../icons"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for size in 16 32 128 256 512 1024; do
  rsvg-convert -w "$size" -h "$size" Tessaloom.svg -o "$work/icon_$size.png"
done
png2icns Tessaloom.icns "$work"/icon_{16,32,128,256,512,1024}.png >/dev/null
cp "$work/icon_256.png" Tessaloom.png
echo "icons/Tessaloom.icns icons/Tessaloom.png"
