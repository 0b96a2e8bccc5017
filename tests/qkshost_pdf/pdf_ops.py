# Counts the path operators of a PDF's Flate-compressed content streams: prints "c=N l=N m=N ...".
# Used by the suite to see whether curves reach the PDF as curves. Pages without text only: font
# programs are compressed streams too and would add noise.
import re
import sys
import zlib

data = open(sys.argv[1], 'rb').read()
counts = {}
for match in re.finditer(rb'stream\r?\n', data):
    start = match.end()
    end = data.find(b'endstream', start)
    try:
        text = zlib.decompress(data[start:end])
    except zlib.error:
        continue
    for op in re.findall(rb'(?<![A-Za-z])(c|l|m|re|f|S)(?![A-Za-z])', text):
        counts[op.decode()] = counts.get(op.decode(), 0) + 1
print(' '.join('%s=%d' % (k, v) for k, v in sorted(counts.items())))
