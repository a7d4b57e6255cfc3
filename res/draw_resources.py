#!/usr/bin/env python3
"""Draws the tool's icons and bitmaps (resources 128-131, 142, 144, 147).

Standard library only, deterministic output: the same script always gives the same bytes.
Usage: draw_resources.py OUTPUT_DIR
"""
import math
import os
import struct
import sys


class Canvas:
    """RGBA pixels, top row first, with a few anti-aliased shapes (4x4 supersampling)."""

    def __init__(self, width, height, colour=(0, 0, 0, 0)):
        self.w, self.h = width, height
        self.px = [list(colour) for _ in range(width * height)]

    def blend(self, x, y, colour, coverage=1.0):
        if not (0 <= x < self.w and 0 <= y < self.h) or coverage <= 0:
            return
        p = self.px[y * self.w + x]
        a = colour[3] / 255.0 * coverage
        out_a = a + p[3] / 255.0 * (1 - a)
        if out_a <= 0:
            return
        for i in range(3):
            p[i] = round((colour[i] * a + p[i] * (p[3] / 255.0) * (1 - a)) / out_a)
        p[3] = round(out_a * 255)

    def coverage(self, inside, box):
        """(x, y, share) for the pixels of `box` (x0, y0, x1, y1) whose samples satisfy
        inside(x, y), share being the part of the pixel's 16 samples that do."""
        x0, y0, x1, y1 = (max(0, int(box[0])), max(0, int(box[1])),
                          min(self.w, int(math.ceil(box[2]))), min(self.h, int(math.ceil(box[3]))))
        offsets = [(i + 0.5) / 4 for i in range(4)]
        for y in range(y0, y1):
            for x in range(x0, x1):
                hits = sum(1 for oy in offsets for ox in offsets if inside(x + ox, y + oy))
                if hits:
                    yield x, y, hits / 16.0

    def shape(self, inside, box, colour):
        """Fills the pixels of `box` whose samples satisfy inside(x, y)."""
        for x, y, share in self.coverage(inside, box):
            self.blend(x, y, colour, share)

    def cut(self, inside, box):
        """Makes the pixels of `box` whose samples satisfy inside(x, y) transparent."""
        for x, y, share in self.coverage(inside, box):
            p = self.px[y * self.w + x]
            p[3] = round(p[3] * (1 - share))

    def circle(self, cx, cy, r, colour):
        self.shape(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r,
                   (cx - r - 1, cy - r - 1, cx + r + 1, cy + r + 1), colour)

    def ring(self, cx, cy, r0, r1, colour, start=0.0, end=360.0):
        def inside(x, y):
            d = (x - cx) ** 2 + (y - cy) ** 2
            if not (r0 * r0 <= d <= r1 * r1):
                return False
            angle = math.degrees(math.atan2(cy - y, x - cx)) % 360
            return start <= angle <= end
        self.shape(inside, (cx - r1 - 1, cy - r1 - 1, cx + r1 + 1, cy + r1 + 1), colour)

    def rect(self, x0, y0, x1, y1, colour, radius=0.0):
        def inside(x, y):
            if not (x0 <= x <= x1 and y0 <= y <= y1):
                return False
            if radius <= 0:
                return True
            cx = min(max(x, x0 + radius), x1 - radius)
            cy = min(max(y, y0 + radius), y1 - radius)
            return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius
        self.shape(inside, (x0 - 1, y0 - 1, x1 + 1, y1 + 1), colour)

    def polygon(self, points, colour):
        def inside(x, y):
            result = False
            j = len(points) - 1
            for i in range(len(points)):
                xi, yi = points[i]
                xj, yj = points[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    result = not result
                j = i
            return result
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]
        self.shape(inside, (min(xs) - 1, min(ys) - 1, max(xs) + 1, max(ys) + 1), colour)

    def line(self, x0, y0, x1, y1, width, colour):
        dx, dy = x1 - x0, y1 - y0
        length = math.hypot(dx, dy) or 1.0
        nx, ny = -dy / length * width / 2, dx / length * width / 2
        self.polygon([(x0 + nx, y0 + ny), (x1 + nx, y1 + ny), (x1 - nx, y1 - ny), (x0 - nx, y0 - ny)],
                     colour)
        self.circle(x0, y0, width / 2, colour)
        self.circle(x1, y1, width / 2, colour)


# --- file writers -----------------------------------------------------------------------

def bmp24(canvas):
    row = (canvas.w * 3 + 3) // 4 * 4
    data = bytearray()
    for y in range(canvas.h - 1, -1, -1):  # bottom-up rows
        line = bytearray()
        for x in range(canvas.w):
            r, g, b, _ = canvas.px[y * canvas.w + x]
            line += bytes((b, g, r))
        line += b"\0" * (row - len(line))
        data += line
    header = struct.pack("<IiiHHIIiiII", 40, canvas.w, canvas.h, 1, 24, 0, len(data), 3780, 3780, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
    return file_header + header + bytes(data)


def ico(canvases):
    images = []
    for c in canvases:
        xor = bytearray()
        for y in range(c.h - 1, -1, -1):
            for x in range(c.w):
                r, g, b, a = c.px[y * c.w + x]
                xor += bytes((b, g, r, a))
        mask_row = (c.w + 31) // 32 * 4
        mask = bytearray()
        for y in range(c.h - 1, -1, -1):
            bits = bytearray(mask_row)
            for x in range(c.w):
                if c.px[y * c.w + x][3] == 0:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bits
        header = struct.pack("<IiiHHIIiiII", 40, c.w, c.h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
        images.append((c.w, c.h, header + bytes(xor) + bytes(mask)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for w, h, blob in images:
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    for _, _, blob in images:
        out += blob
    return out


# --- icons ------------------------------------------------------------------------------

def icon_app(s):
    c = Canvas(s, s)
    k = s / 32.0
    c.rect(1 * k, 1 * k, 31 * k, 31 * k, (22, 58, 112, 255), radius=6 * k)
    for r0, r1 in ((6, 8.5), (11, 13.5), (16, 18.5)):
        c.ring(9 * k, 23 * k, r0 * k, r1 * k, (120, 200, 255, 255), start=10, end=80)
    c.circle(9 * k, 23 * k, 3.5 * k, (235, 60, 50, 255))
    return c


def icon_close(s):
    c = Canvas(s, s)
    k = s / 32.0
    c.circle(16 * k, 16 * k, 14.5 * k, (200, 45, 45, 255))
    c.line(10.5 * k, 10.5 * k, 21.5 * k, 21.5 * k, 3.6 * k, (255, 255, 255, 255))
    c.line(21.5 * k, 10.5 * k, 10.5 * k, 21.5 * k, 3.6 * k, (255, 255, 255, 255))
    return c


def icon_update(s):
    c = Canvas(s, s)
    k = s / 32.0
    c.circle(16 * k, 16 * k, 14.5 * k, (40, 150, 70, 255))
    # The arrow is cut out of the disc rather than painted white, so the disabled look (the
    # icon's shape embossed) still shows it: the Update button is disabled whenever no unit
    # is connected.
    def arrow(x, y):
        shaft = 13.5 * k <= x <= 18.5 * k and 7 * k <= y <= 16 * k
        head = y >= 15 * k and abs(x - 16 * k) <= 22.5 * k - y  # a right-angled point
        tray = 9 * k <= x <= 23 * k and 23.5 * k <= y <= 26 * k
        return shaft or head or tray
    c.cut(arrow, (0, 0, s, s))
    return c


def icon_open(s):
    c = Canvas(s, s)
    k = s / 32.0
    back = (190, 130, 20, 255)
    c.rect(2 * k, 6 * k, 13 * k, 11 * k, back, radius=1.5 * k)  # the tab
    c.rect(2 * k, 8.5 * k, 28 * k, 27 * k, back, radius=1.5 * k)
    c.rect(6 * k, 11 * k, 26 * k, 20 * k, (250, 250, 244, 255))  # a sheet inside
    # The front flap, with a darker rim so it reads on a light button face.
    c.polygon([(7 * k, 14 * k), (31 * k, 14 * k), (27.5 * k, 27 * k), (2 * k, 27 * k)],
              (200, 140, 25, 255))
    c.polygon([(7.8 * k, 15.2 * k), (29.6 * k, 15.2 * k), (26.6 * k, 25.8 * k), (3.4 * k, 25.8 * k)],
              (252, 208, 86, 255))
    return c


def icon_setting(s):
    c = Canvas(s, s)
    k = s / 32.0
    grey = (95, 105, 120, 255)
    for i in range(8):
        a = math.radians(i * 45)
        c.line(16 * k + math.cos(a) * 9 * k, 16 * k + math.sin(a) * 9 * k,
               16 * k + math.cos(a) * 13 * k, 16 * k + math.sin(a) * 13 * k, 5 * k, grey)
    c.circle(16 * k, 16 * k, 10.5 * k, grey)
    c.circle(16 * k, 16 * k, 4.5 * k, (0, 0, 0, 0))
    # punch the hole: clear alpha inside the hub
    for y in range(s):
        for x in range(s):
            if (x + 0.5 - 16 * k) ** 2 + (y + 0.5 - 16 * k) ** 2 <= (4.5 * k) ** 2:
                c.px[y * s + x] = [0, 0, 0, 0]
    return c


# --- bitmaps ----------------------------------------------------------------------------

FONT = {  # 5 x 7 capitals for the picture's name plate
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    "I": ["11111", "00100", "00100", "00100", "00100", "00100", "11111"],
    "V": ["10001", "10001", "10001", "10001", "01010", "01010", "00100"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
}


def text(c, x, y, word, scale, colour):
    for ch in word:
        for row, bits in enumerate(FONT[ch]):
            for col, bit in enumerate(bits):
                if bit == "1":
                    c.rect(x + col * scale, y + row * scale, x + (col + 1) * scale - 0.5,
                           y + (row + 1) * scale - 0.5, colour)
        x += 6 * scale


def picture(s=1):
    """The main window's picture at s times its 96 dpi size (423 x 218)."""
    w, h = 423 * s, 218 * s
    c = Canvas(w, h, (0, 0, 0, 255))
    for y in range(h):  # night sky to dusk
        t = y / (h - 1)
        colour = (int(14 + 40 * t), int(28 + 60 * t), int(64 + 90 * t), 255)
        for x in range(w):
            c.px[y * w + x] = list(colour)
    c.polygon([(0, h), (w, h), (w, 150 * s), (0, 150 * s)], (38, 44, 52, 255))
    c.polygon([(150 * s, h), (330 * s, h), (226 * s, 150 * s), (206 * s, 150 * s)],
              (70, 76, 86, 255))
    for i in range(5):
        y0 = 156 + i * i * 3 + i * 4
        c.rect((214 - i * 1.5) * s, y0 * s, (218 + i * 1.5) * s, (y0 + 4 + i * 2) * s,
               (235, 220, 120, 255))
    c.rect(330 * s, 70 * s, 335 * s, 160 * s, (150, 155, 165, 255))
    c.rect(312 * s, 58 * s, 352 * s, 80 * s, (215, 220, 228, 255), radius=4 * s)
    c.circle(321 * s, 69 * s, 6 * s, (40, 45, 60, 255))
    c.circle(321 * s, 69 * s, 3 * s, (90, 170, 255, 255))
    for r0, r1 in ((12, 15), (20, 23), (28, 31)):
        c.ring(321 * s, 69 * s, r0 * s, r1 * s, (255, 200, 80, 200), start=150, end=210)
    text(c, 24 * s, 24 * s, "KIVREL", 6 * s, (240, 244, 250, 255))
    c.rect(24 * s, 74 * s, 200 * s, 77 * s, (90, 170, 255, 255))
    return c


# --- province map -------------------------------------------------------------------------
#
# The province window stretches this bitmap over its whole client area (624 x 342 dialog
# units) and puts one check box per province on it, so the map is drawn in the window's own
# terms: each box must sit on its province. Geography comes from an Albers conic projection
# fitted to the boxes; each province's area is the part of the land nearest its box (and a few
# points that give the large provinces their extent), so every box lies wholly on its own
# province by construction, which main() checks.

# Box of each entry of the province name table: dialog-unit x, y, width (height 10). The
# window's template places the same boxes.
PROVINCE_BOXES = [
    (461, 125, 32), (539, 204, 32), (475, 136, 32), (363, 218, 32), (555, 47, 40), (549, 79, 32),
    (523, 102, 32), (358, 124, 40), (444, 143, 32), (408, 149, 32), (367, 185, 32), (478, 156, 32),
    (119, 102, 32), (100, 196, 32), (208, 167, 32), (320, 177, 32), (344, 156, 32), (425, 186, 32),
    (511, 188, 32), (413, 211, 32), (516, 227, 32), (476, 206, 32), (495, 258, 32), (463, 244, 32),
    (409, 246, 32), (349, 258, 32), (297, 220, 32), (443, 284, 32), (275, 280, 32), (375, 283, 32),
    (396, 328, 32), (459, 299, 32), (444, 308, 32), (542, 274, 32),
]
MAP_W, MAP_H = 717, 593
# The client area in pixels with the usual dialog font (1.5 x 1.625 pixels per dialog unit):
# distances are measured there, so areas look right once the bitmap is stretched.
SCREEN_W, SCREEN_H = 936, 556
BOX_H = 10

# Where each province is (longitude, latitude): the point its box stands for, then points that
# stretch a large province over its real extent.
PROVINCE_PLACES = [
    [(116.4, 40.2)], [(121.4, 31.1)], [(117.3, 39.3)], [(107.8, 30.0), (107.0, 29.2)],
    [(128.0, 47.5), (126.0, 51.5), (131.0, 47.0), (124.5, 48.5)], [(126.0, 43.5), (127.5, 42.8)],
    [(122.5, 41.3), (121.0, 41.6)],
    [(112.0, 43.0), (100.0, 41.5), (106.0, 40.8), (111.0, 41.5), (116.0, 44.0), (119.5, 47.0),
     (121.0, 50.5)],
    [(115.5, 38.5), (114.8, 37.6), (116.0, 41.6)], [(112.3, 37.5), (112.3, 35.8), (112.8, 39.2)],
    [(108.9, 35.0), (109.0, 33.2), (109.3, 37.6)], [(118.2, 36.3), (120.3, 36.8), (116.4, 36.2)],
    [(85.0, 41.5), (79.5, 39.5), (87.0, 45.5), (92.5, 42.5), (78.5, 37.0), (83.0, 37.5)],
    [(88.5, 31.5), (82.0, 32.0), (85.5, 29.5), (91.5, 30.5), (95.5, 30.5), (80.5, 33.8)],
    [(96.0, 35.5), (92.5, 35.5), (99.0, 36.8), (100.5, 34.0)],
    [(103.0, 37.0), (96.5, 40.2), (100.0, 38.8), (104.5, 35.0), (98.0, 39.5)], [(106.2, 37.3)],
    [(113.6, 33.9), (114.5, 32.6)], [(119.5, 33.0), (119.2, 32.0)], [(112.3, 31.0), (110.8, 31.3)],
    [(120.1, 29.2), (119.6, 28.4)], [(117.2, 31.8), (116.7, 33.1)], [(118.0, 26.0), (117.0, 25.3)],
    [(115.7, 27.6), (115.2, 25.8)], [(111.7, 27.6), (112.0, 25.9), (110.5, 28.8)],
    [(106.8, 26.8), (105.5, 26.2)], [(102.7, 30.6), (99.5, 31.0), (101.5, 28.0), (105.2, 31.8)],
    [(101.5, 24.8), (99.6, 23.0), (103.0, 23.5), (99.5, 26.8)],
    [(108.8, 23.8), (110.5, 24.6), (107.2, 22.8)], [(109.8, 19.2)], [(114.2, 22.3)],
    [(113.5, 22.2)], [(121.0, 23.7)],
]

# The mainland and the two large islands, (longitude, latitude), clockwise.
MAINLAND = [
    (73.5, 39.5), (75.0, 40.6), (76.9, 41.1), (78.5, 41.5), (80.2, 42.1), (80.8, 43.2),
    (80.4, 44.9), (82.5, 45.2), (82.9, 47.2), (85.5, 47.1), (87.3, 49.1), (88.9, 48.1),
    (90.5, 46.3), (91.0, 45.2), (93.5, 44.9), (95.4, 44.3), (96.4, 42.7), (100.8, 42.6),
    (105.0, 41.6), (107.0, 42.4), (110.4, 42.8), (111.9, 43.7), (113.9, 44.9), (116.7, 46.4),
    (119.7, 46.7), (118.4, 47.9), (116.0, 47.8), (117.4, 49.6), (119.2, 50.3), (120.8, 52.6),
    (122.4, 53.4), (125.5, 53.0), (126.8, 51.4), (127.6, 50.0), (130.6, 48.9), (132.5, 47.7),
    (134.7, 48.3), (133.9, 46.3), (133.1, 45.0), (131.0, 44.9), (131.3, 43.0), (130.9, 42.5),
    (129.9, 42.9), (128.1, 41.4), (126.6, 41.7), (124.3, 39.9), (122.9, 39.5), (121.2, 38.8),
    (121.6, 39.5), (122.2, 40.6), (121.1, 40.9), (119.8, 40.0), (118.9, 39.2), (117.7, 38.9),
    (118.0, 38.2), (119.1, 37.7), (120.7, 37.8), (122.1, 37.5), (122.7, 37.3), (121.5, 36.7),
    (120.4, 36.1), (119.4, 34.7), (120.3, 34.0), (120.9, 32.6), (121.9, 31.7), (121.9, 31.0),
    (121.0, 30.4), (122.0, 29.9), (121.6, 28.8), (120.9, 27.9), (120.3, 27.0), (119.6, 26.0),
    (119.0, 25.2), (118.1, 24.5), (117.2, 23.6), (116.5, 23.0), (115.4, 22.7), (114.4, 22.4),
    (113.7, 22.1), (112.8, 21.8), (111.6, 21.5), (110.5, 21.2), (110.3, 20.3), (109.9, 20.6),
    (109.7, 21.5), (109.1, 21.5), (108.0, 21.5), (107.0, 21.8), (106.7, 22.7), (105.6, 23.1),
    (104.3, 22.8), (103.5, 22.6), (102.1, 22.4), (101.6, 21.2), (100.9, 21.5), (100.1, 21.6),
    (99.2, 22.1), (99.5, 22.9), (98.7, 24.1), (97.6, 23.9), (97.7, 25.0), (98.7, 26.5),
    (98.7, 27.6), (97.5, 28.3), (96.3, 29.2), (96.0, 28.3), (94.0, 27.6), (92.0, 27.8),
    (89.2, 27.3), (88.1, 27.9), (86.0, 27.9), (85.0, 28.4), (83.3, 29.4), (81.5, 30.2),
    (79.5, 30.9), (78.7, 31.8), (78.8, 32.6), (79.5, 33.3), (79.0, 34.4), (78.0, 35.5),
    (77.0, 35.6), (75.9, 36.7), (74.8, 37.2), (74.5, 38.3),
]
TAIWAN = [(121.0, 25.3), (121.9, 25.1), (121.9, 24.5), (121.5, 23.5), (121.0, 22.5),
          (120.8, 21.9), (120.7, 22.3), (120.2, 22.7), (120.1, 23.2), (120.2, 24.0), (120.7, 24.7)]
HAINAN = [(110.0, 20.1), (110.7, 20.1), (111.0, 19.6), (110.5, 18.8), (109.6, 18.2),
          (108.9, 18.4), (108.6, 19.1), (109.0, 19.9), (109.5, 20.0)]


def albers(lon, lat):
    """Albers equal-area conic, standard parallels 25 and 47, centred on 105 E, 35 N."""
    n = (math.sin(math.radians(25)) + math.sin(math.radians(47))) / 2
    c = math.cos(math.radians(25)) ** 2 + 2 * n * math.sin(math.radians(25))
    rho0 = math.sqrt(c - 2 * n * math.sin(math.radians(35))) / n
    rho = math.sqrt(c - 2 * n * math.sin(math.radians(lat))) / n
    theta = n * math.radians(lon - 105)
    return rho * math.sin(theta), rho0 - rho * math.cos(theta)


def box_rect(entry):
    """A province box in bitmap pixels (left, top, right, bottom)."""
    x, y, w = PROVINCE_BOXES[entry]
    sx, sy = MAP_W / 624.0, MAP_H / 342.0
    return x * sx, y * sy, (x + w) * sx, (y + BOX_H) * sy


def fitted_projection():
    """Projection to bitmap pixels, x and y each scaled to put the provinces under their boxes."""
    def fit(xs, ys):
        mx, my = sum(xs) / len(xs), sum(ys) / len(ys)
        a = sum((x - mx) * (y - my) for x, y in zip(xs, ys)) / sum((x - mx) ** 2 for x in xs)
        return a, my - a * mx
    points = [albers(*places[0]) for places in PROVINCE_PLACES]
    centres = [((r[0] + r[2]) / 2, (r[1] + r[3]) / 2) for r in map(box_rect, range(34))]
    ax, bx = fit([p[0] for p in points], [c[0] for c in centres])
    ay, by = fit([p[1] for p in points], [c[1] for c in centres])

    def project(lon, lat):
        x, y = albers(lon, lat)
        return ax * x + bx, ay * y + by
    return project


def spans(polygon, y):
    """The x intervals of row centre y inside a polygon (even-odd rule)."""
    xs = []
    j = len(polygon) - 1
    for i in range(len(polygon)):
        (xi, yi), (xj, yj) = polygon[i], polygon[j]
        if (yi > y) != (yj > y):
            xs.append(xi + (y - yi) * (xj - xi) / (yj - yi))
        j = i
    xs.sort()
    return list(zip(xs[0::2], xs[1::2]))


def province_grid(project):
    """Province index of every bitmap pixel, or -1 for sea."""
    polygons = [[project(*p) for p in shape] for shape in (MAINLAND, TAIWAN, HAINAN)]
    kx, ky = SCREEN_W / MAP_W, SCREEN_H / MAP_H  # bitmap pixels to screen pixels
    sites = []  # (province, kind, data): a box rectangle or a point, in bitmap pixels
    for entry in range(34):
        sites.append((entry, box_rect(entry)))
    for entry, places in enumerate(PROVINCE_PLACES):
        for place in places[1:]:
            x, y = project(*place)
            sites.append((entry, (x, y, x, y)))

    def distance(rect, x, y):
        dx = max(rect[0] - x, 0.0, x - rect[2]) * kx
        dy = max(rect[1] - y, 0.0, y - rect[3]) * ky
        return dx * dx + dy * dy

    # Land: the shapes, and a margin round every box so none stands in the sea.
    grid = [[-1] * MAP_W for _ in range(MAP_H)]
    for y in range(MAP_H):
        row = grid[y]
        for polygon in polygons:
            for x0, x1 in spans(polygon, y + 0.5):
                for x in range(max(0, int(math.ceil(x0 - 0.5))), min(MAP_W, int(math.floor(x1 - 0.5)) + 1)):
                    row[x] = 0
    margin = 3
    for entry in range(34):
        l, t, r, b = box_rect(entry)
        for y in range(max(0, int(t) - margin), min(MAP_H, int(math.ceil(b)) + margin)):
            for x in range(max(0, int(l) - margin), min(MAP_W, int(math.ceil(r)) + margin)):
                grid[y][x] = 0

    # Nearest site, with candidates pruned per tile: a site can win inside a tile only if its
    # nearest point there is no farther than the best site's farthest point.
    tile = 16
    for ty in range(0, MAP_H, tile):
        for tx in range(0, MAP_W, tile):
            corners = [(tx, ty), (tx + tile, ty), (tx, ty + tile), (tx + tile, ty + tile)]
            area = (tx, ty, tx + tile, ty + tile)
            worst = min(max(distance(s[1], cx, cy) for cx, cy in corners) for s in sites)

            def near(rect):
                dx = max(rect[0] - area[2], 0.0, area[0] - rect[2]) * kx
                dy = max(rect[1] - area[3], 0.0, area[1] - rect[3]) * ky
                return dx * dx + dy * dy
            candidates = [s for s in sites if near(s[1]) <= worst + 1e-9]
            for y in range(ty, min(ty + tile, MAP_H)):
                row = grid[y]
                for x in range(tx, min(tx + tile, MAP_W)):
                    if row[x] < 0:
                        continue
                    px, py = x + 0.5, y + 0.5
                    best, best_d = -1, None
                    for entry, rect in candidates:  # boxes come first and win ties
                        d = distance(rect, px, py)
                        if best_d is None or d < best_d:
                            best, best_d = entry, d
                    row[x] = best
    return grid, polygons


def province_map():
    project = fitted_projection()
    grid, polygons = province_grid(project)

    # Neighbouring provinces get different colours.
    neighbours = [set() for _ in range(34)]
    for y in range(MAP_H - 1):
        for x in range(MAP_W - 1):
            a = grid[y][x]
            for b in (grid[y][x + 1], grid[y + 1][x]):
                if a >= 0 and b >= 0 and a != b:
                    neighbours[a].add(b)
                    neighbours[b].add(a)
    palette = [(244, 226, 170), (205, 228, 180), (246, 200, 176), (214, 206, 236), (186, 222, 216),
               (240, 236, 196)]
    colour = {}
    for entry in sorted(range(34), key=lambda e: -len(neighbours[e])):
        used = {colour[n] for n in neighbours[entry] if n in colour}
        colour[entry] = next(i for i in range(len(palette)) if i not in used)

    c = Canvas(MAP_W, MAP_H)
    for y in range(MAP_H):
        t = y / (MAP_H - 1)
        sea = (int(176 - 20 * t), int(212 - 14 * t), int(238 - 6 * t), 255)
        for x in range(MAP_W):
            p = grid[y][x]
            c.px[y * MAP_W + x] = list(sea if p < 0 else palette[colour[p]] + (255,))
    border = (150, 128, 104, 255)
    for y in range(MAP_H):
        for x in range(MAP_W):
            p = grid[y][x]
            if p < 0:
                continue
            right = grid[y][x + 1] if x + 1 < MAP_W else p
            below = grid[y + 1][x] if y + 1 < MAP_H else p
            if (right >= 0 and right != p) or (below >= 0 and below != p):
                c.blend(x, y, border, 0.8)
    coast = (70, 110, 150, 255)
    for polygon in polygons:
        for i in range(len(polygon)):
            (x0, y0), (x1, y1) = polygon[i], polygon[(i + 1) % len(polygon)]
            c.line(x0, y0, x1, y1, 1.2, coast)
    return c, grid


def check_province_map(grid):
    """Every box stands wholly on its own province (where boxes overlap, on either's)."""
    rects = [box_rect(entry) for entry in range(34)]
    for entry in range(34):
        l, t, r, b = rects[entry]
        for y in range(int(math.ceil(t)), int(b)):
            for x in range(int(math.ceil(l)), int(r)):
                shared = [o for o, (ol, ot, orr, ob) in enumerate(rects)
                          if ol <= x + 0.5 <= orr and ot <= y + 0.5 <= ob]
                if grid[y][x] not in shared:
                    raise SystemExit(f"province box {entry} stands on {grid[y][x]} at ({x}, {y})")


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(out, exist_ok=True)
    icons = {"app.ico": icon_app, "close.ico": icon_close, "update.ico": icon_update,
             "open.ico": icon_open, "setting.ico": icon_setting}
    for name, draw in icons.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(ico([draw(s) for s in (48, 32, 24, 16)]))
    with open(os.path.join(out, "picture.bmp"), "wb") as f:
        f.write(bmp24(picture()))
    # Twice the size, for screens above 96 dpi: the window scales it down to its picture area.
    with open(os.path.join(out, "picture_2x.bmp"), "wb") as f:
        f.write(bmp24(picture(2)))
    provinces, grid = province_map()
    check_province_map(grid)
    with open(os.path.join(out, "province_map.bmp"), "wb") as f:
        f.write(bmp24(provinces))


if __name__ == "__main__":
    main()
