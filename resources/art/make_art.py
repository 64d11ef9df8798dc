#!/usr/bin/env python3
"""Draws the program's icons and toolbar bitmap and writes them beside this script.

Run it again after changing a drawing; the build uses the files it writes.

Pictures are pixel maps (one character a pixel, see PALETTE); round and
slanted shapes are filled from pixel tests and get a one-pixel outline.
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# The toolbar shows this colour of its bitmap as transparent.
TOOLBAR_BACKGROUND = (192, 192, 192)

PALETTE = {
    ".": None,
    "K": (20, 20, 28),        # outline
    "k": (96, 96, 108),       # text lines, soft outline
    # Not pure white: the toolbar repaints pure white in the button highlight colour.
    "W": (254, 254, 254),
    "w": (236, 236, 240),
    "l": (214, 214, 222),
    "m": (150, 150, 162),
    "S": (255, 212, 164),     # skin
    "s": (230, 170, 118),
    "B": (30, 90, 200),
    "b": (100, 160, 240),
    "c": (186, 222, 255),
    "G": (40, 160, 56),
    "g": (22, 112, 38),
    "h": (130, 216, 112),
    "R": (218, 36, 36),
    "r": (150, 18, 18),
    "p": (255, 150, 160),
    "Y": (255, 214, 60),
    "y": (222, 164, 20),
    "O": (248, 144, 24),
    "N": (164, 100, 44),
    "n": (112, 66, 26),
    "P": (255, 248, 222),
}


class Canvas:
    def __init__(self, size):
        self.size = size
        self.pixels = [[None] * size for _ in range(size)]

    def put(self, x, y, key):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.pixels[y][x] = PALETTE[key]

    def sprite(self, rows, dx=0, dy=0):
        """Copies a pixel map onto the canvas; '.' leaves the canvas alone."""
        if len({len(row) for row in rows}) != 1:
            raise ValueError("pixel map rows differ in length: " + repr(rows))
        for y, row in enumerate(rows):
            for x, key in enumerate(row):
                if key != ".":
                    self.put(x + dx, y + dy, key)

    def shape(self, mask, fill, outline=None):
        """Fills the pixels of a mask and draws its edge pixels in the outline colour."""
        for y in range(self.size):
            for x in range(self.size):
                if not mask[y][x]:
                    continue
                edge = any(
                    not (0 <= x + ex < self.size and 0 <= y + ey < self.size) or not mask[y + ey][x + ex]
                    for ex, ey in ((1, 0), (-1, 0), (0, 1), (0, -1)))
                self.put(x, y, outline if edge and outline else fill)


def pixel_mask(size, test):
    """The pixels (x, y) for which test holds."""
    return [[bool(test(x, y)) for x in range(size)] for y in range(size)]


def round_mask(size, cx, cy, r):
    """A disc whose rows are rounded to whole pixels, so its outline is even."""
    mask = [[False] * size for _ in range(size)]
    for y in range(size):
        dy = y + 0.5 - cy
        if abs(dy) >= r:
            continue
        half = math.sqrt(r * r - dy * dy)
        for x in range(int(round(cx - half)), int(round(cx + half))):
            if 0 <= x < size:
                mask[y][x] = True
    return mask


def intersect(a, b):
    return [[p and q for p, q in zip(row_a, row_b)] for row_a, row_b in zip(a, b)]


# ---------------------------------------------------------------------------
# Pixel maps shared by several pictures

HAND = [
    "................",
    "................",
    "................",
    ".....KKKK.......",
    "....KSSSSKKKKKK.",
    "...KSSSSSSSSSSSK",
    "KKKSSSSSSssssssK",
    "KbKSSSSSKKKKKKK.",
    "KbKSSSSSSSSsK...",
    "KbKSSSSSKKKKK...",
    "KbKSSSSSSSsK....",
    "KbKSSSSSKKKK....",
    "KKKsSSSSSsK.....",
    "...KssssKKK.....",
    "....KKKK........",
    "................",
]

# A larger drawing of the hand, for the large icon.
LARGE_HAND = [
    ".......KKKKK...........",
    "......KSSSSSK..........",
    ".....KSSSSSSSKKKKKKKKK.",
    "....KSSSSSSSSSSSSSSSSSK",
    "....KSSSSSSSSSSSSSSSSSK",
    "KKKKSSSSSSSSsssssssssSK",
    "KbbKSSSSSSSSKKKKKKKKKK.",
    "KbbKSSSSSSSSSSSSSSSK...",
    "KbbKSSSSSSSSSSSSSSsK...",
    "KbbKSSSSSSSSKKKKKKK....",
    "KbbKSSSSSSSSSSSSSSK....",
    "KbbKSSSSSSSSSSSSSsK....",
    "KbbKSSSSSSSSKKKKKK.....",
    "KbbKsSSSSSSSSSSSK......",
    "KKKKssSSSSSSSSsK.......",
    "....KsssssssKKK........",
    ".....KKKKKKK...........",
]

# The hand with a shorter finger, for the small mark.
SHORT_HAND = [
    ".....KKKK.......",
    "....KSSSSKKKK...",
    "...KSSSSSSSSSK..",
    "KKKSSSSSSssssK..",
] + HAND[7:15]

SMALL_GLOBE = [
    "..KKKK..",
    ".KbbGBK.",
    "KbGGGBBK",
    "KGGGBBGK",
    "KBGBBGGK",
    "KBBBBBGK",
    ".KBBBBK.",
    "..KKKK..",
]

LARGE_GLOBE = [
    "......KKKKK......",
    "....KKbbbBBKK....",
    "...KbbGGGbBBBK...",
    "..KbGGGGGGBBBBK..",
    ".KbGGGGGGBBBGGBK.",
    ".KbGGGGGBBBGGGGK.",
    "KbbbGGGBBBBBGGGBK",
    "KBbbbGGGBBBBBGBBK",
    "KBBBBBGGBBBBBBBBK",
    "KBBBBBGGGGBBBBBBK",
    "KBBBBBBGGGGGBBBBK",
    ".KBBBBBBGGGGBBBK.",
    ".KBBBBBBBGGGBBBK.",
    "..KBBBBBBGGBBBK..",
    "...KBBBBBBBBBK...",
    "....KKBBBBBKK....",
    "......KKKKK......",
]

GLOBE = [
    "...KKKKK...",
    ".KKbbGBBKK.",
    ".KbGGGBBBK.",
    "KbGGGBBGGBK",
    "KbGGBBBGGGK",
    "KBGBBBBBGBK",
    "KBBBBGBBBBK",
    "KBBBGGGBBBK",
    ".KBBBGGBBK.",
    ".KKBBBBBKK.",
    "...KKKKK...",
]

DIGITS = {
    "1": [".K.", "KK.", ".K.", ".K.", "KKK"],
    "2": ["KK.", "..K", ".K.", "K..", "KKK"],
    "3": ["KK.", "..K", ".K.", "..K", "KK."],
}

INFO_BADGE = [
    "..KKK..",
    ".KBWBK.",
    "KBBBBBK",
    "KBBWBBK",
    "KBBWBBK",
    ".KBWBK.",
    "..KKK..",
]

BUSY_BADGE = [
    "..KKK..",
    ".KhhGK.",
    "KhhGGGK",
    "KhGGGGK",
    "KGGGGgK",
    ".KGggK.",
    "..KKK..",
]

NOTIFY_BADGE = [
    "..KKK..",
    ".KRWRK.",
    "KRRWRRK",
    "KRRWRRK",
    "KRRRRRK",
    ".KRWRK.",
    "..KKK..",
]


def round_button(fill, outline="K"):
    """A 16 x 16 canvas holding a round button face."""
    c = Canvas(16)
    c.shape(round_mask(16, 8, 8, 8), fill, outline)
    return c


# ---------------------------------------------------------------------------
# Toolbar images, 16 x 16 each, in the order the toolbar uses them


def finger():
    c = Canvas(16)
    c.sprite(HAND)
    return c


def quick_finger():
    c = Canvas(16)
    c.sprite(["..." + row[3:] for row in HAND])
    for y, start in ((6, 0), (9, 1), (12, 0)):
        for x in range(start, 3):
            c.put(x, y, "B")
    return c


def mail_group():
    c = Canvas(16)
    c.sprite([
        "................",
        "................",
        "................",
        "KKKKKKKKKKKKKKKK",
        "KKKWWWWWWWWWWKKK",
        "KPPKKWWWWWWKKPPK",
        "KPPPPKKWWKKPPPPK",
        "KPPPPPPKKPPPPPPK",
        "KPPPPPPPPPPPPPPK",
        "KPPPPPPPPPPPPPPK",
        "KPPPPPPPPPPPPPPK",
        "KPPPPPPPPPPPPPPK",
        "KPPPPPPPPPPPPPPK",
        "KKKKKKKKKKKKKKKK",
        "................",
        "................",
    ])
    return c


PERSON = [
    ".....KKKKK......",
    "....KNNNNNK.....",
    "...KNNSSSNNK....",
    "...KNSSSSSSK....",
    "...KSSSSSSSK....",
    "....KSSSSsK.....",
    ".....KKKKK......",
    "...KKBBBBBKK....",
    "..KBBBBBBBBBK...",
    ".KBBBBBBBBBBBK..",
    ".KBBBBBBBBBBBK..",
    ".KBBBBBBBBBBBK..",
    ".KKKKKKKKKKKKK..",
]


def status_group():
    c = Canvas(16)
    c.sprite(PERSON, dy=1)
    c.sprite(BUSY_BADGE, dx=9, dy=9)
    return c


def numbered_group(digit):
    c = Canvas(16)
    c.sprite([
        "................",
        "................",
        "................",
        ".KKKKKK.........",
        "KyyyyyyKKKKKKKK.",
        "KyyyyyyyyyyyyyyK",
        "KKKKKKKKKKKKKKKK",
        "KYYYYYYYYYYYYYYK",
        "KYYYYYYYYYYYYYYK",
        "KYYYYYYYYYYYYYYK",
        "KYYYYYYYYYYYYYYK",
        "KYYYYYYYYYYYYYYK",
        "KYYYYYYYYYYYYYYK",
        "KyyyyyyyyyyyyyyK",
        "KKKKKKKKKKKKKKKK",
        "................",
    ])
    c.sprite(DIGITS[digit], dx=7, dy=8)
    return c


def options():
    c = Canvas(16)
    c.sprite([
        "......KKKK......",
        "......KllK......",
        "..KK.KKllKK.KK..",
        "..KlKKllllKKlK..",
        "..KllllllllllK..",
        "...KlllKKlllK...",
        "KKKKllK..KmmKKKK",
        "KllllK....KmmmmK",
        "KllllK....KmmmmK",
        "KKKKllK..KmmKKKK",
        "...KlmmKKmmmK...",
        "..KmmmmmmmmmmK..",
        "..KmKKmmmmKKmK..",
        "..KK.KKmmKK.KK..",
        "......KmmK......",
        "......KKKK......",
    ])
    return c


def winsock_information():
    c = Canvas(16)
    c.sprite([
        "...KKK...KKK....",
        "...KlK...KlK....",
        "...KlK...KlK....",
        "..KKKKKKKKKKKK..",
        "..KwwwwwwwwwwK..",
        "..KwllllllllmK..",
        "..KwllllllllmK..",
        "..KwllllllllmK..",
        "...KwllllllmK...",
        "....KKmmmmKK....",
        "......KmmK......",
        "......KKKK......",
        ".......KK.......",
        "........KK......",
        ".........KKK....",
        "...........KKKK.",
    ])
    c.sprite(INFO_BADGE, dx=0, dy=9)
    return c


def kill_all_jobs():
    c = round_button("R", "r")
    c.shape(pixel_mask(16, lambda x, y: 4 <= x <= 11 and 4 <= y <= 11 and (abs(x - y) <= 1 or abs(x + y - 15) <= 1)),
            "W")
    return c


def pause_jobs():
    c = round_button("O", "n")
    c.shape(pixel_mask(16, lambda x, y: 4 <= y <= 11 and (5 <= x <= 6 or 9 <= x <= 10)), "W")
    return c


def help_button():
    c = round_button("B")
    c.sprite([
        ".WWWW.",
        "WW..WW",
        "....WW",
        "...WW.",
        "..WW..",
        "..WW..",
        "......",
        "..WW..",
        "..WW..",
    ], dx=5, dy=3)
    return c


def whois():
    c = Canvas(16)
    c.sprite(GLOBE)
    c.sprite([
        "..KKK....",
        ".KcccK...",
        "KcWcccK..",
        "KcccccK..",
        "KcccccK..",
        ".KcccKK..",
        "..KKKnnK.",
        ".....KnnK",
        "......KK.",
    ], dx=7, dy=7)
    return c


def view_jobs():
    c = Canvas(16)
    c.sprite([
        "......KKKK......",
        "..KKKKKmmKKKKK..",
        ".KNNNKmmmmKNNNK.",
        ".KNKKKKKKKKKKNK.",
        ".KNKWWWWWWWWKNK.",
        ".KNKWGWkkkkWKNK.",
        ".KNKWWWWWWWWKNK.",
        ".KNKWGWkkkkWKNK.",
        ".KNKWWWWWWWWKNK.",
        ".KNKWGWkkkWWKNK.",
        ".KNKWWWWWWWWKNK.",
        ".KNKWOWkkkkWKNK.",
        ".KNKWWWWWWWWKNK.",
        ".KNKKKKKKKKKKNK.",
        ".KNNNNNNNNNNNNK.",
        ".KKKKKKKKKKKKKK.",
    ])
    return c


def clear_output():
    c = Canvas(16)
    body = pixel_mask(16, lambda x, y: 11 <= x + y <= 19 and -10 <= x - y <= 10)
    sleeve = pixel_mask(16, lambda x, y: x - y >= -1)
    c.shape(body, "p", "K")
    c.shape(intersect(body, sleeve), "b", "K")
    return c


def jump_to_last_output():
    c = Canvas(16)
    c.sprite([
        ".KKKKKKKK.......",
        ".KWWWWWWKK......",
        ".KWkkkkWKWK.....",
        ".KWWWWWWKKKK....",
        ".KWkkkkkWWWK....",
        ".KWWWWWWWWWK....",
        ".KWkkkkkkWWK....",
        ".KWWWWWWWWWK....",
        ".KWkkkkkWWWK....",
        ".KWWWWWWWWWK....",
        ".KWWWWWWWWWK....",
        ".KYYYYYYYYYK....",
        ".KWWWWWWWWWK....",
        ".KKKKKKKKKKK....",
        "................",
        "................",
    ])
    c.sprite([
        "..KKK..",
        "..KGK..",
        "..KGK..",
        "..KGK..",
        "..KGK..",
        "KKKGKKK",
        "KGGGGGK",
        ".KGGGK.",
        "..KGK..",
        "...K...",
    ], dx=9, dy=2)
    return c


def toolbar_images():
    return [
        finger(), quick_finger(), mail_group(), status_group(),
        numbered_group("1"), numbered_group("2"), numbered_group("3"),
        options(), winsock_information(), kill_all_jobs(), pause_jobs(), help_button(),
        whois(), view_jobs(), clear_output(), jump_to_last_output(),
    ]


# ---------------------------------------------------------------------------
# Icons


def mark(size):
    """The program's mark: a finger pointing at a globe."""
    c = Canvas(size)
    if size == 32:
        c.sprite(LARGE_GLOBE, dx=15, dy=2)
        c.sprite(LARGE_HAND, dx=0, dy=12)
    else:
        c.sprite(SMALL_GLOBE, dx=8, dy=1)
        c.sprite(SHORT_HAND, dy=4)
    return c


def entry_picture(size):
    c = Canvas(size)
    if size == 32:
        c.shape(pixel_mask(32, lambda x, y: 1 <= x <= 30 and 5 <= y <= 27), "P", "K")
        c.shape(pixel_mask(32, lambda x, y: 1 <= x <= 30 and 5 <= y <= 10), "B", "K")
        c.sprite(PERSON, dx=1, dy=12)
        for y, length in ((15, 10), (19, 8), (23, 10)):
            for x in range(17, 17 + length):
                c.put(x, y, "k")
    else:
        c.sprite(PERSON, dx=1, dy=2)
    return c


def tray_picture(badge=None):
    c = mark(16)
    if badge == "busy":
        c.sprite(BUSY_BADGE, dx=9, dy=9)
    elif badge == "notify":
        c.sprite(NOTIFY_BADGE, dx=9, dy=9)
    return c


# ---------------------------------------------------------------------------
# File writers


def write_ico(path, canvases):
    images = []
    for c in canvases:
        n = c.size
        header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
        pixels = b""
        for y in reversed(range(n)):
            for x in range(n):
                p = c.pixels[y][x]
                pixels += struct.pack("BBBB", p[2], p[1], p[0], 255) if p else b"\0\0\0\0"
        row_bytes = ((n + 31) // 32) * 4
        mask = b""
        for y in reversed(range(n)):
            row = bytearray(row_bytes)
            for x in range(n):
                if c.pixels[y][x] is None:
                    row[x // 8] |= 0x80 >> (x % 8)
            mask += bytes(row)
        images.append((n, header + pixels + mask))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in images:
        out += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    with open(path, "wb") as f:
        f.write(out)


def write_bmp(path, canvases, background):
    """Writes the pictures side by side as one 8-bit bitmap with a colour table.

    The toolbar maps the background colour of the table to the button face and
    then treats the button face as transparent; it maps only colours of a
    table, so the bitmap must have one.
    """
    n = canvases[0].size
    width = n * len(canvases)
    table = [background]
    index = {background: 0}
    rows = []
    for y in reversed(range(n)):
        row = bytearray()
        for c in canvases:
            for x in range(n):
                p = c.pixels[y][x] or background
                if p not in index:
                    index[p] = len(table)
                    table.append(p)
                row.append(index[p])
        row += bytes((-len(row)) % 4)
        rows.append(bytes(row))
    if len(table) > 256:
        raise ValueError("the toolbar bitmap uses more than 256 colours")
    colours = b"".join(struct.pack("BBBB", p[2], p[1], p[0], 0) for p in table)
    pixels = b"".join(rows)
    header = struct.pack("<IiiHHIIiiII", 40, width, n, 1, 8, 0, len(pixels), 2835, 2835, len(table), 0)
    offset = 14 + len(header) + len(colours)
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(file_header + header + colours + pixels)


def main():
    write_ico(os.path.join(HERE, "main.ico"), [mark(32), mark(16)])
    write_ico(os.path.join(HERE, "entry.ico"), [entry_picture(32), entry_picture(16)])
    write_ico(os.path.join(HERE, "tray_idle.ico"), [tray_picture()])
    write_ico(os.path.join(HERE, "tray_busy.ico"), [tray_picture("busy")])
    write_ico(os.path.join(HERE, "tray_notify.ico"), [tray_picture("notify")])
    write_bmp(os.path.join(HERE, "toolbar.bmp"), toolbar_images(), TOOLBAR_BACKGROUND)


if __name__ == "__main__":
    main()
