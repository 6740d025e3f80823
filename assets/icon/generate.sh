#!/usr/bin/env bash
# Renders the program's icon from veltrano.svg:
#   veltrano-16.png ... veltrano-48.png  32-bit PNGs for the Linux window and desktop entry
#   veltrano.ico                          eight images for the Windows executable:
#                                         48, 32, 24 and 16 px, each as a 256-colour
#                                         palette image and as a 32-bit image
# Needs rsvg-convert (librsvg2-bin), convert (imagemagick), icotool (icoutils), python3.
# The outputs are committed; run this again after changing the SVG.
set -euo pipefail
cd "$(dirname "$0")"
sizes=(48 32 24 16)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

for s in "${sizes[@]}"; do
  rsvg-convert -w "$s" -h "$s" veltrano.svg -o "veltrano-$s.png"
  # 256 colours with a transparency mask: alpha cut at half, then at most
  # 255 colours so the palette keeps room for the transparent one.
  convert "veltrano-$s.png" -channel A -threshold 50% +channel -colors 255 \
    -define png:exclude-chunks=date,time "PNG8:$tmp/p$s.png"
done

icotool -c -b 8 -o "$tmp/palette.ico" "$tmp"/p{48,32,24,16}.png
icotool -c -b 32 -o "$tmp/truecolour.ico" veltrano-{48,32,24,16}.png

# icotool sets one bit depth per file: join the two icons, size by size.
python3 - "$tmp/palette.ico" "$tmp/truecolour.ico" veltrano.ico <<'PY'
import struct, sys

def entries(path):
    data = open(path, "rb").read()
    _, kind, count = struct.unpack_from("<HHH", data, 0)
    assert kind == 1
    out = []
    for i in range(count):
        w, h, colours, res, planes, bits, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        out.append(((w, h, colours, res, planes, bits), data[offset:offset + size]))
    return out

palette, truecolour = entries(sys.argv[1]), entries(sys.argv[2])
images = [e for pair in zip(palette, truecolour) for e in pair]
offset = 6 + 16 * len(images)
head = struct.pack("<HHH", 0, 1, len(images))
body = b""
for (w, h, colours, res, planes, bits), blob in images:
    head += struct.pack("<BBBBHHII", w, h, colours, res, planes, bits, len(blob), offset + len(body))
    body += blob
open(sys.argv[3], "wb").write(head + body)
PY
icotool -l veltrano.ico
