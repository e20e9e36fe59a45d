#!/usr/bin/env bash
# Makes the real artwork the design import is checked on, from packages
# that others publish: six Bootstrap icons (npm's bootstrap-icons, drawn
# 40 mm wide instead of 16 px), the outlines of a word in DejaVu Sans
# (Debian's fonts-dejavu-core, through python3-fonttools), and each of them
# exported by Inkscape (Debian's inkscape) to an HPGL plot file and to a
# DXF. The files are kept in the tree, so that the tests need none of these
# programs; this script is how they were made.
#
# Usage: tests/data/designs/make_artwork.sh   (writes beside itself)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$work" && npm pack bootstrap-icons@1.13.2 --silent >/dev/null && tar xzf bootstrap-icons-*.tgz)
for icon in heart gear bicycle puzzle star-fill airplane; do
    sed 's/width="16" height="16"/width="40mm" height="40mm"/' \
        "$work/package/icons/$icon.svg" >"$here/icon-$icon.svg"
done

/usr/bin/python3 - "$here/glyphs-dejavu.svg" <<'PY'
import sys
from fontTools.ttLib import TTFont
from fontTools.pens.svgPathPen import SVGPathPen
from fontTools.pens.transformPen import TransformPen

font = TTFont("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf")
glyphs = font.getGlyphSet()
cmap = font.getBestCmap()
units = font["head"].unitsPerEm
size = 30.0  # millimetres per em
paths, x = [], 0.0
for ch in "Vemtrac 42&":
    name = cmap[ord(ch)]
    pen = SVGPathPen(glyphs)
    # Font units to millimetres, y turned down the page.
    glyphs[name].draw(TransformPen(pen, (size / units, 0, 0, -size / units, x, size)))
    if pen.getCommands():
        paths.append('<path d="%s"/>' % pen.getCommands())
    x += glyphs[name].width * size / units
width = round(x + 1)
with open(sys.argv[1], "w") as out:
    out.write('<svg xmlns="http://www.w3.org/2000/svg" width="%dmm" height="40mm" '
              'viewBox="0 0 %d 40" fill="none" stroke="#000000" stroke-width="0.1">\n'
              % (width, width))
    out.write("\n".join(paths) + "\n</svg>\n")
PY

ext=/usr/share/inkscape/extensions
for svg in "$here"/icon-heart.svg "$here"/icon-gear.svg "$here"/glyphs-dejavu.svg; do
    base=${svg%.svg}
    (cd "$ext" && /usr/bin/python3 hpgl_output.py --overcut=0 --toolOffset=0 --precut=false \
        "$svg" >"$base.hpgl")
    (cd "$ext" && /usr/bin/python3 dxf_outlines.py --unit_from_document=False --units=mm \
        "$svg" >"$base.dxf")
done
