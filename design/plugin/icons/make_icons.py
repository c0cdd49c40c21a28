#!/usr/bin/env python3
"""Draws the Qt Designer plugin's widget-box icons, one 22x22 PNG per
data-aware control, pixel by pixel: at that size hand-placed pixels stay
sharp where a scaled drawing would blur. Each icon is the control's shape
with a small cylinder, the data-aware mark, in its lower right corner.
Run it again after changing a drawing: python3 make_icons.py (no modules
beyond Python's own)."""

import os
import struct
import zlib

SIZE = 22
FRAME = (0x4a, 0x55, 0x63, 255)
FACE = (0xff, 0xff, 0xff, 255)
PANEL = (0xdd, 0xe3, 0xea, 255)
INK = (0x22, 0x2b, 0x36, 255)
ACCENT = (0x2f, 0x6f, 0xb5, 255)
LIGHT = (0xa9, 0xc8, 0xec, 255)
RED = (0xc6, 0x3b, 0x3b, 255)
GREEN = (0x2e, 0x8b, 0x3e, 255)
SKY = (0xcf, 0xe6, 0xfa, 255)
SUN = (0xf2, 0xb7, 0x05, 255)
CYL_EDGE = (0x1b, 0x5e, 0x55, 255)
CYL_BODY = (0x2a, 0x9d, 0x8f, 255)
CYL_TOP = (0x9a, 0xdc, 0xd2, 255)

# 3x5 glyphs for the few characters the icons show.
GLYPHS = {
    "0": ["###", "#.#", "#.#", "#.#", "###"],
    "1": [".#.", "##.", ".#.", ".#.", "###"],
    "2": ["##.", "..#", ".#.", "#..", "###"],
    "5": ["###", "#..", "##.", "..#", "##."],
    "7": ["###", "..#", ".#.", ".#.", ".#."],
    "a": ["...", "##.", ".##", "#.#", "###"],
    "b": ["#..", "#..", "##.", "#.#", "##."],
    "A": [".#.", "#.#", "###", "#.#", "#.#"],
    ".": ["...", "...", "...", "...", ".#."],
}


class Icon:
    def __init__(self):
        self.px = [[(0, 0, 0, 0)] * SIZE for _ in range(SIZE)]

    def dot(self, x, y, c):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            self.px[y][x] = c

    def fill(self, x, y, w, h, c):
        for j in range(y, y + h):
            for i in range(x, x + w):
                self.dot(i, j, c)

    def box(self, x, y, w, h, edge, face=None):
        if face is not None:
            self.fill(x, y, w, h, face)
        self.fill(x, y, w, 1, edge)
        self.fill(x, y + h - 1, w, 1, edge)
        self.fill(x, y, 1, h, edge)
        self.fill(x + w - 1, y, 1, h, edge)

    def text(self, x, y, s, c):
        for ch in s:
            for j, row in enumerate(GLYPHS[ch]):
                for i, p in enumerate(row):
                    if p == "#":
                        self.dot(x + i, y + j, c)
            x += 4

    def pattern(self, x, y, rows, colours):
        for j, row in enumerate(rows):
            for i, p in enumerate(row):
                if p in colours:
                    self.dot(x + i, y + j, colours[p])

    def data_mark(self):
        # A 7x8 cylinder in the lower right corner, with a clear pixel
        # around it so that it reads apart from the drawing below.
        self.fill(14, 13, 8, 9, (0, 0, 0, 0))
        self.pattern(15, 14, [
            ".#####.",
            "#ttttt#",
            "#.....#",
            "#.....#",
            "#ttttt#",
            "#.....#",
            "#.....#",
            ".#####.",
        ], {"#": CYL_EDGE, ".": CYL_BODY, "t": CYL_TOP})

    def png(self):
        raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in self.px)

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

        header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def line_edit(icon, label):
    icon.box(0, 3, 20, 10, FRAME, FACE)
    icon.text(2, 5, label, INK)


def grid(i):
    i.box(0, 1, 21, 17, FRAME, FACE)
    i.fill(1, 2, 19, 3, PANEL)
    for y in (5, 9, 13):
        i.fill(1, y, 19, 1, FRAME)
    for x in (7, 14):
        i.fill(x, 2, 1, 15, FRAME)
    i.fill(1, 6, 19, 3, LIGHT)  # the current row


def navigator(i):
    i.box(0, 2, 21, 11, FRAME, PANEL)
    for x in (5, 10, 15):
        i.fill(x, 3, 1, 9, FRAME)
    i.pattern(1, 5, ["#..#", "#.##", "####", "#.##", "#..#"], {"#": INK})
    i.pattern(7, 5, ["..#", ".##", "###", ".##", "..#"], {"#": INK})
    i.pattern(12, 5, ["#..", "##.", "###", "##.", "#.."], {"#": INK})
    i.pattern(16, 5, ["#..#", "##.#", "####", "##.#", "#..#"], {"#": INK})


def memo(i):
    i.box(0, 0, 20, 19, FRAME, FACE)
    i.fill(15, 1, 4, 17, PANEL)
    i.fill(16, 3, 2, 5, FRAME)  # the scroll bar's handle
    for y, w in ((3, 11), (6, 9), (9, 12), (12, 7), (15, 10)):
        i.fill(2, y, w, 1, INK)


def image(i):
    i.box(0, 1, 21, 17, FRAME, SKY)
    i.fill(13, 4, 3, 3, SUN)
    i.dot(14, 3, SUN)
    i.dot(14, 7, SUN)
    i.dot(12, 5, SUN)
    i.dot(16, 5, SUN)
    for k in range(7):  # two hills
        i.fill(1 + k, 16 - k, 13 - 2 * k, 1, GREEN)
    for k in range(4):
        i.fill(10 + k, 16 - k, 10 - 2 * k, 1, GREEN)


def label(i):
    i.pattern(0, 2, [
        "...##....",
        "..####...",
        "..#..#...",
        ".##..##..",
        ".##..##..",
        ".######..",
        "##....##.",
        "##....##.",
    ], {"#": INK})
    i.pattern(9, 2, [
        "##....",
        "##....",
        "##....",
        "#####.",
        "##..##",
        "##..##",
        "##..##",
        "#####.",
    ], {"#": INK})
    i.fill(0, 12, 16, 1, ACCENT)


def check_box(i):
    i.box(1, 1, 13, 13, FRAME, FACE)
    i.pattern(3, 4, [
        "........#",
        ".......##",
        "#.....##.",
        "##...##..",
        ".##.##...",
        "..###....",
        "...#.....",
    ], {"#": GREEN})


def combo(i, key=False):
    i.box(0, 3, 21, 10, FRAME, FACE)
    i.fill(14, 4, 6, 8, PANEL)
    i.fill(14, 4, 1, 8, FRAME)
    i.pattern(15, 7, ["#####", ".###.", "..#.."], {"#": INK})
    if key:  # a small key: the value is another table's key
        i.pattern(2, 5, [
            ".##......",
            "#..#.....",
            "#..######",
            "#..#..#.#",
            ".##......",
        ], {"#": ACCENT})
    else:
        i.text(2, 5, "ab", INK)


def calendar(i, clock=False):
    i.box(0, 1, 18, 17, FRAME, FACE)
    i.fill(1, 2, 16, 4, RED)
    i.fill(4, 0, 1, 3, FRAME)
    i.fill(13, 0, 1, 3, FRAME)
    for y in (8, 11, 14):
        for x in (3, 7, 11, 15):
            if clock and x >= 11 and y >= 11:
                continue
            i.fill(x - 1, y, 2, 2, ACCENT if (x, y) == (7, 11) else FRAME)
    if clock:  # a clock face over the calendar's lower left corner
        i.fill(0, 10, 12, 12, (0, 0, 0, 0))
        i.pattern(0, 10, [
            "...#####...",
            "..#.....#..",
            ".#...#...#.",
            "#....#....#",
            "#....#....#",
            "#....###..#",
            "#.........#",
            "#.........#",
            ".#.......#.",
            "..#.....#..",
            "...#####...",
        ], {"#": INK})


def spin_box(i):
    i.box(0, 2, 21, 11, FRAME, FACE)
    i.fill(14, 3, 6, 9, PANEL)
    i.fill(14, 3, 1, 9, FRAME)
    i.fill(15, 7, 5, 1, FRAME)
    i.pattern(15, 4, ["..#..", ".###."], {"#": INK})
    i.pattern(15, 9, [".###.", "..#.."], {"#": INK})
    i.text(2, 5, "12", INK)


def decimal_edit(i):
    line_edit(i, "")
    i.text(2, 5, "1", INK)
    i.dot(6, 9, INK)
    i.text(8, 5, "25", INK)


DRAWINGS = {
    "DataGrid": grid,
    "DataNavigator": navigator,
    "DataLineEdit": lambda i: line_edit(i, "ab"),
    "DataMemo": memo,
    "DataImage": image,
    "DataLabel": label,
    "DataCheckBox": check_box,
    "DataComboBox": combo,
    "DataLookupComboBox": lambda i: combo(i, key=True),
    "DataDateEdit": calendar,
    "DataDateTimeEdit": lambda i: calendar(i, clock=True),
    "DataSpinBox": spin_box,
    "DataDecimalEdit": decimal_edit,
}


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, draw in DRAWINGS.items():
        icon = Icon()
        draw(icon)
        icon.data_mark()
        with open(os.path.join(here, name + ".png"), "wb") as out:
            out.write(icon.png())


if __name__ == "__main__":
    main()
