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

    def shape(self, inside, box, colour):
        """Fills the pixels of `box` (x0, y0, x1, y1) whose samples satisfy inside(x, y)."""
        x0, y0, x1, y1 = (max(0, int(box[0])), max(0, int(box[1])),
                          min(self.w, int(math.ceil(box[2]))), min(self.h, int(math.ceil(box[3]))))
        offsets = [(i + 0.5) / 4 for i in range(4)]
        for y in range(y0, y1):
            for x in range(x0, x1):
                hits = sum(1 for oy in offsets for ox in offsets if inside(x + ox, y + oy))
                if hits:
                    self.blend(x, y, colour, hits / 16.0)

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
    white = (255, 255, 255, 255)
    c.rect(13.5 * k, 7 * k, 18.5 * k, 16 * k, white)
    c.polygon([(8.5 * k, 15 * k), (23.5 * k, 15 * k), (16 * k, 22.5 * k)], white)
    c.rect(9 * k, 23.5 * k, 23 * k, 26 * k, white, radius=1 * k)
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


def picture():
    w, h = 423, 218
    c = Canvas(w, h, (0, 0, 0, 255))
    for y in range(h):  # night sky to dusk
        t = y / (h - 1)
        colour = (int(14 + 40 * t), int(28 + 60 * t), int(64 + 90 * t), 255)
        for x in range(w):
            c.px[y * w + x] = list(colour)
    c.polygon([(0, h), (w, h), (w, 150), (0, 150)], (38, 44, 52, 255))
    c.polygon([(150, h), (330, h), (226, 150), (206, 150)], (70, 76, 86, 255))
    for i in range(5):
        y0 = 156 + i * i * 3 + i * 4
        c.rect(214 - i * 1.5, y0, 218 + i * 1.5, y0 + 4 + i * 2, (235, 220, 120, 255))
    c.rect(330, 70, 335, 160, (150, 155, 165, 255))
    c.rect(312, 58, 352, 80, (215, 220, 228, 255), radius=4)
    c.circle(321, 69, 6, (40, 45, 60, 255))
    c.circle(321, 69, 3, (90, 170, 255, 255))
    for r0, r1 in ((12, 15), (20, 23), (28, 31)):
        c.ring(321, 69, r0, r1, (255, 200, 80, 200), start=150, end=210)
    text(c, 24, 24, "KIVREL", 6, (240, 244, 250, 255))
    c.rect(24, 74, 200, 77, (90, 170, 255, 255))
    return c


def province_map():
    w, h = 717, 593
    sites = {  # province check-box positions in dialog units (624 x 342)
        0: (461, 125), 1: (539, 204), 2: (475, 136), 3: (363, 218), 4: (555, 47), 5: (549, 79),
        6: (523, 102), 7: (358, 124), 8: (444, 143), 9: (408, 149), 10: (367, 185), 11: (478, 156),
        12: (119, 102), 13: (100, 196), 14: (208, 167), 15: (320, 177), 16: (344, 156), 17: (425, 186),
        18: (511, 188), 19: (413, 211), 20: (516, 227), 21: (476, 206), 22: (495, 258), 23: (463, 244),
        24: (409, 246), 25: (349, 258), 26: (297, 220), 27: (443, 284), 28: (275, 280), 29: (375, 283),
        30: (396, 328), 31: (459, 299), 32: (444, 308), 33: (542, 274),
    }
    pts = [((x + 16) * w / 624.0, (y + 5) * h / 342.0) for x, y in sites.values()]
    land = [(30, 170), (110, 90), (250, 70), (380, 120), (560, 130), (640, 40), (700, 60),
            (690, 170), (620, 250), (640, 330), (600, 420), (560, 480), (470, 520), (360, 520),
            (250, 500), (150, 420), (60, 370), (20, 280)]

    def on_land(x, y):
        result = False
        j = len(land) - 1
        for i in range(len(land)):
            xi, yi = land[i]
            xj, yj = land[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result

    palette = [(236, 222, 180), (214, 232, 190), (240, 206, 180), (222, 214, 236), (200, 226, 214),
               (244, 230, 160)]
    sea = (170, 206, 232)
    c = Canvas(w, h, sea + (255,))
    step = 2
    cells = {}
    for y in range(0, h, step):
        for x in range(0, w, step):
            if not on_land(x + 1, y + 1):
                continue
            best, second = None, None
            for i, (sx, sy) in enumerate(pts):
                d = (sx - x) ** 2 + (sy - y) ** 2
                if best is None or d < best[0]:
                    best, second = (d, i), best
                elif second is None or d < second[0]:
                    second = (d, i)
            border = second is not None and math.sqrt(second[0]) - math.sqrt(best[0]) < 2.5
            cells[(x, y)] = (best[1], border)
    for (x, y), (site, border) in cells.items():
        colour = (150, 130, 110) if border else palette[site % len(palette)]
        for yy in range(y, min(y + step, h)):
            for xx in range(x, min(x + step, w)):
                c.px[yy * w + xx] = list(colour) + [255]
    for i in range(len(land)):  # coast line
        x0, y0 = land[i]
        x1, y1 = land[(i + 1) % len(land)]
        steps = int(math.hypot(x1 - x0, y1 - y0))
        for s in range(steps):
            x = int(x0 + (x1 - x0) * s / steps)
            y = int(y0 + (y1 - y0) * s / steps)
            for yy in range(y - 1, y + 1):
                for xx in range(x - 1, x + 1):
                    if 0 <= xx < w and 0 <= yy < h:
                        c.px[yy * w + xx] = [90, 120, 150, 255]
    return c


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
    with open(os.path.join(out, "province_map.bmp"), "wb") as f:
        f.write(bmp24(province_map()))


if __name__ == "__main__":
    main()
