#!/usr/bin/env bash
# Makes the PNG decoder's reference pictures with ImageMagick (Debian package imagemagick), and for each the
# colours ImageMagick's own reader reports, as raw RGB bytes (.rgb). Run from anywhere; writes beside itself.
# Every picture is an 8-bit palette image whose rows all use filter type 0 (-quality 00); the host tests
# check that with their own small reader.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
picture=(-size 37x23 -seed 7 plasma:fractal)
palette8=(-define png:color-type=3 -define png:bit-depth=8 -quality 00)
# Without ancillary chunks, 200 colours at most.
convert "${picture[@]}" -colors 200 "${palette8[@]}" -strip im_pal8.png
# The same with gAMA, cHRM, bKGD, pHYs and tIME before IDAT and tEXt after it.
convert "${picture[@]}" -colors 200 "${palette8[@]}" -density 72 -units PixelsPerInch \
  -set comment "made for the decoder tests" im_ancillary.png
# 16 palette entries, still 8 bits per pixel.
convert "${picture[@]}" -colors 16 "${palette8[@]}" -strip im_pal16.png
# No IEND: the last 12 bytes (its length, type and checksum) cut off.
head -c -12 im_pal8.png >im_noiend.png
for f in im_pal8 im_ancillary im_pal16; do
  convert "$f.png" -depth 8 "rgb:$f.rgb"
done
cp im_pal8.rgb im_noiend.rgb
