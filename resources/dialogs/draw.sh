#!/usr/bin/env bash
# Draws the pictures of the settings and guide windows with ImageMagick. The
# PNG files are committed; run this only to change them.
set -euo pipefail
cd "$(dirname "$0")"
teal='rgb(61,102,98)'
green='rgb(85,170,127)'
grey='rgb(200,200,200)'

# A long arrow between a source and a target language.
convert -size 64x24 xc:none -stroke "$teal" -strokewidth 3 -draw "line 2,12 52,12" \
    -fill "$teal" -stroke none -draw "polygon 46,3 62,12 46,21" arrow-right.png

# A downward arrow between two operating steps.
convert -size 24x32 xc:none -stroke "$teal" -strokewidth 3 -draw "line 12,2 12,22" \
    -fill "$teal" -stroke none -draw "polygon 3,18 12,30 21,18" arrow-down.png

# The voice mouse seen from the side, its voice key (the side button) marked
# in green with a pointer towards the caption above it.
convert -size 256x128 xc:none \
    -fill white -stroke "$teal" -strokewidth 3 -draw "roundrectangle 40,40 216,112 36,36" \
    -fill "$grey" -stroke none -draw "roundrectangle 180,48 212,70 8,8" \
    -stroke "$teal" -strokewidth 2 -draw "line 176,42 176,72" \
    -fill "$green" -stroke "$teal" -strokewidth 2 -draw "roundrectangle 92,66 132,80 6,6" \
    -stroke "$green" -strokewidth 2 -draw "line 112,66 112,20" -draw "line 112,20 150,20" \
    -fill "$teal" -stroke none -draw "rectangle 56,96 200,100" \
    mouse.png
