#!/usr/bin/env python3
"""Writes res/setup.ico: one 32x32 image in 16 colours (a small printer)."""
import struct, sys

W = H = 32
# Standard 16-colour palette (BGR0).
PALETTE = [(0,0,0),(128,0,0),(0,128,0),(128,128,0),(0,0,128),(128,0,128),(0,128,128),(192,192,192),
           (128,128,128),(255,0,0),(0,255,0),(255,255,0),(0,0,255),(255,0,255),(0,255,255),(255,255,255)]
BLACK, DGREY, LGREY, WHITE, BLUE, GREEN = 0, 8, 7, 15, 12, 10
T = None  # transparent

pix = [[T] * W for _ in range(H)]
def rect(x0, y0, x1, y1, c):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            pix[y][x] = c
def frame(x0, y0, x1, y1, c):
    for x in range(x0, x1 + 1): pix[y0][x] = pix[y1][x] = c
    for y in range(y0, y1 + 1): pix[y][x0] = pix[y][x1] = c

rect(9, 2, 22, 12, WHITE); frame(9, 2, 22, 12, BLACK)          # paper going in
rect(3, 11, 28, 24, LGREY); frame(3, 11, 28, 24, BLACK)        # body
rect(4, 21, 27, 23, DGREY)                                      # base shadow
rect(7, 14, 24, 16, DGREY)                                      # paper slot
rect(24, 18, 25, 19, GREEN)                                     # power light
rect(8, 25, 23, 30, WHITE); frame(8, 25, 23, 30, BLACK)         # printed sheet
for y in (27, 29): rect(10, y, 21 if y == 27 else 17, y, BLUE)  # printed lines

xor = b''
for y in range(H - 1, -1, -1):
    row = pix[y]
    for x in range(0, W, 2):
        a = row[x] if row[x] is not None else 0
        b = row[x + 1] if row[x + 1] is not None else 0
        xor += bytes([(a << 4) | b])
mask = b''
for y in range(H - 1, -1, -1):
    bits = 0
    for x in range(W):
        bits = (bits << 1) | (1 if pix[y][x] is None else 0)
    mask += struct.pack('>I', bits)

header = struct.pack('<IiiHHIIiiII', 40, W, H * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
palette = b''.join(struct.pack('BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
image = header + palette + xor + mask
ico = struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', W, H, 16, 0, 1, 4, len(image), 22) + image
out = sys.argv[1] if len(sys.argv) > 1 else 'res/setup.ico'
open(out, 'wb').write(ico)
