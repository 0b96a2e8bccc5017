# Checks the embedded TrueType fonts of a PDF against the installed fonts they came from: for
# every code a font's ToUnicode map gives a character, the glyph the code selects in the
# embedded subset (through CIDToGIDMap) must have the outline the original font gives that
# character, and the width table must give its advance. Prints "codes=N fonts=M" and one line
# per mismatch; exits 1 on any mismatch.
import io
import re
import subprocess
import sys
import zlib

from fontTools.ttLib import TTFont

data = open(sys.argv[1], 'rb').read()
objects = {int(m.group(1)): m.start() for m in re.finditer(rb'(?m)^(\d+) 0 obj\n', data)}


def body(n):
    start = data.index(b'\n', objects[n]) + 1
    return data[start:data.index(b'endobj', start)]


def ref(dictionary, key):
    m = re.search(key + rb'\s*(\d+) 0 R', dictionary)
    return int(m.group(1)) if m else None


def stream(n):
    b = body(n)
    head = b[:b.index(b'stream\n')]
    length = ref(head, rb'/Length')
    length = int(body(length).strip()) if length else int(re.search(rb'/Length (\d+)', head).group(1))
    start = objects[n] + data[objects[n]:].index(b'stream\n') + 7
    raw = data[start:start + length]
    return zlib.decompress(raw) if b'/FlateDecode' in head else raw


def font_file(postscript_name):
    out = subprocess.run(['fc-list', ':postscriptname=' + postscript_name, 'file', 'index'],
                         capture_output=True, text=True).stdout.strip().splitlines()
    path, index = out[0].split(': ')[0].rstrip(':'), 0
    m = re.search(r':index=(\d+)', out[0])
    if m:
        index = int(m.group(1))
    return TTFont(path, fontNumber=index)


def outline(font, glyph_name):
    glyph = font['glyf'][glyph_name]
    if glyph.numberOfContours == 0:
        return []
    coordinates, ends, _ = glyph.getCoordinates(font['glyf'])
    return [list(coordinates), list(ends)]


failures, codes, fonts = [], 0, 0
for n in objects:
    b = body(n)
    if b'/Subtype/Type0' not in b:
        continue
    fonts += 1
    name = re.search(rb'/BaseFont/[A-Z]{6}\+([^/\s\]>]+)', b).group(1).decode()
    cid_font = body(int(re.search(rb'/DescendantFonts\[(\d+) 0 R', b).group(1)))
    descriptor = body(ref(cid_font, rb'/FontDescriptor'))
    subset = TTFont(io.BytesIO(stream(ref(descriptor, rb'/FontFile2'))))
    cid_to_gid = stream(ref(cid_font, rb'/CIDToGIDMap'))
    widths = [float(w) for w in
              re.search(rb'/W\[0\[([^\]]*)\]\]', cid_font).group(1).split()]
    original = font_file(name)
    upem = original['head'].unitsPerEm
    best_cmap = original.getBestCmap()
    tounicode = stream(ref(b, rb'/ToUnicode')).decode('latin-1')
    entries = ''.join(re.findall(r'beginbfchar(.*?)endbfchar', tounicode, re.S))
    for code, text in re.findall(r'<([0-9A-F]{4})>\s*<([0-9A-F]+)>', entries):
        code = int(code, 16)
        character = bytes.fromhex(text).decode('utf-16-be')
        if len(character) != 1:
            continue  # a cluster of several characters has no single glyph to compare
        codes += 1
        new_gid = int.from_bytes(cid_to_gid[2 * code:2 * code + 2], 'big')
        got = subset.getGlyphOrder()[new_gid]
        want = best_cmap.get(ord(character))
        if want is None:
            failures.append('%s: %r is not in the font' % (name, character))
            continue
        if outline(subset, got) != outline(original, want):
            failures.append('%s: code %d (%r) shows another glyph' % (name, code, character))
        advance = original['hmtx'][want][0] * 1000.0 / upem
        if abs(widths[code] - advance) > 0.01:
            failures.append('%s: code %d (%r) width %g, font says %g' %
                            (name, code, character, widths[code], advance))

print('codes=%d fonts=%d' % (codes, fonts))
for f in failures:
    print(f)
sys.exit(1 if failures else 0)
