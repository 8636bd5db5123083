#!/bin/sh
# Renders the program and document icons into the hicolor sizes the desktop
# looks for (res/icons/hicolor/SIZExSIZE/apps/). Run after changing
# program.svg or document.svg; needs rsvg-convert (Debian: librsvg2-bin).
set -eu
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
  dir="hicolor/${size}x${size}/apps"
  mkdir -p "$dir"
  rsvg-convert -w "$size" -h "$size" program.svg -o "$dir/tallyhawk.png"
  rsvg-convert -w "$size" -h "$size" document.svg -o "$dir/tallyhawk-document.png"
done
