# Writes a small OpenType font with CFF outlines ("QksCffProbe") for the PDF suite: every
# printable ASCII character and U+00C0..U+017F, each a box whose width grows with the code, so
# a page can show more than 255 different glyphs of a face without TrueType outlines.
# Usage: make_cff_font.py OUTPUT.otf
import sys

from fontTools.fontBuilder import FontBuilder
from fontTools.pens.t2CharStringPen import T2CharStringPen

codes = list(range(0x21, 0x7F)) + list(range(0xC0, 0x180))
names = ['.notdef', 'space'] + ['u%04X' % c for c in codes]
fb = FontBuilder(1000, isTTF=False)
fb.setupGlyphOrder(names)
fb.setupCharacterMap({0x20: 'space', **{c: 'u%04X' % c for c in codes}})
charstrings, metrics = {}, {}
for name in names:
    pen = T2CharStringPen(600, None)
    width = 600
    if name.startswith('u'):
        width = 400 + int(name[1:], 16) % 200
        pen.moveTo((50, 0))
        pen.lineTo((width - 50, 0))
        pen.lineTo((width - 50, 700))
        pen.lineTo((50, 700))
        pen.closePath()
    elif name == '.notdef':
        pen.moveTo((50, 0))
        pen.lineTo((550, 0))
        pen.lineTo((300, 700))
        pen.closePath()
    charstrings[name] = pen.getCharString()
    metrics[name] = (width, 50)
fb.setupCFF('QksCffProbe', {'FullName': 'QksCffProbe'}, charstrings, {})
fb.setupHorizontalMetrics(metrics)
fb.setupHorizontalHeader(ascent=800, descent=-200)
fb.setupNameTable({'familyName': 'QksCffProbe', 'styleName': 'Regular'})
fb.setupOS2(sTypoAscender=800, sTypoDescender=-200, usWinAscent=800, usWinDescent=200)
fb.setupPost()
fb.save(sys.argv[1])
