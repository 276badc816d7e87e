#!/bin/sh
# Writes the image fixtures once; the tests and the CI need neither tool. Needs python3-pil and
# libnvtt-bin. Run from this folder.
set -e
/usr/bin/python3 - <<'PY'
from PIL import Image
import random
random.seed(7)

def pattern(w, h, alpha):
    im = Image.new("RGBA" if alpha else "RGB", (w, h))
    px = im.load()
    for y in range(h):
        for x in range(w):
            c = ((x * 255) // max(1, w - 1), (y * 255) // max(1, h - 1), random.randrange(256))
            if alpha:
                c = c + ((x * 37 + y * 11) % 256,)
            px[x, y] = c
    # Runs for the run-length encoder: a flat band across the middle.
    for y in range(h // 3, h // 2):
        for x in range(w):
            px[x, y] = (200, 40, 90, 128) if alpha else (200, 40, 90)
    return im

pattern(37, 23, False).save("rle24.tga", rle=True)
pattern(37, 23, True).save("rle32.tga", rle=True)
pattern(37, 23, False).save("topLeft24.tga", orientation=1)
pattern(37, 23, True).save("topLeftRle32.tga", rle=True, orientation=1)
pattern(37, 23, False).save("topLeftRle24.tga", rle=True, orientation=1)
Image.open("/usr/share/assimp/models/X/top.tga").save("topRle.tga", rle=True)
for w, h in ((6, 6), (20, 12), (36, 36), (64, 64)):
    pattern(w, h, True).save("source%dx%d.tga" % (w, h))
PY
for size in 6x6 20x12 36x36 64x64; do
  for bc in 1 2 3; do
    nvcompress -silent -bc$bc source$size.tga bc$bc-$size.dds >/dev/null
    nvdecompress bc$bc-$size.dds >/dev/null
    mv bc$bc-$size.tga bc$bc-$size.level0.tga
  done
  rm source$size.tga
done
cp /usr/share/assimp/models/X/top.tga topSource.tga
nvcompress -silent -bc1 topSource.tga bc1-top.dds >/dev/null
nvdecompress bc1-top.dds >/dev/null
mv bc1-top.tga bc1-top.level0.tga
rm topSource.tga
/usr/bin/python3 - <<'PY'
from PIL import Image
# A JPEG in CMYK, which has no RGB drawing here.
Image.new("CMYK", (8, 8), (10, 200, 30, 40)).save("cmyk.jpg")
PY
# The font's own numbers for "Tg.0": units per em, then per character its advance and box (xMin,
# yMin, xMax, yMax) in font units, read by fontTools (python3-fonttools).
/usr/bin/python3 - <<'PY' > dejavuSansTg0.txt
from fontTools.ttLib import TTFont
f = TTFont("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf")
print(f["head"].unitsPerEm)
cmap = f.getBestCmap()
for ch in "Tg.0":
    name = cmap[ord(ch)]
    g = f["glyf"][name]
    print(ch, f["hmtx"][name][0], g.xMin, g.yMin, g.xMax, g.yMax)
PY
# The font fuzz target's seeds: DejaVu Sans and Serif cut down to "Tg.0" by fontTools.
seeds=../../../fuzz/content/corpus/PlatformFontFuzz
mkdir -p "$seeds"
/usr/bin/python3 -m fontTools.subset /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf --text="Tg.0" \
  --output-file="$seeds/dejavuSansTg0.ttf"
/usr/bin/python3 -m fontTools.subset /usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf --text="Tg.0" --no-hinting \
  --output-file="$seeds/dejavuSerifTg0.ttf"
