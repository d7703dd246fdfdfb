#!/usr/bin/env python3
"""Draws the program's small pictures (toolbar images, window icon) as PNG files.

Run it from this folder after changing a picture; the PNG files are committed."""
import struct
import zlib


class Canvas:
    def __init__(self, size):
        self.size = size
        self.px = [[(0, 0, 0, 0)] * size for _ in range(size)]

    def put(self, x, y, colour):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.px[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour):
        for x in range(x0, x1 + 1):
            self.put(x, y0, colour)
            self.put(x, y1, colour)
        for y in range(y0, y1 + 1):
            self.put(x0, y, colour)
            self.put(x1, y, colour)

    def disc(self, cx, cy, r, colour):
        for y in range(self.size):
            for x in range(self.size):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                    self.put(x, y, colour)

    def bitmap(self, x0, y0, rows, colour, scale=1):
        for j, row in enumerate(rows):
            for i, ch in enumerate(row):
                if ch == '#':
                    self.rect(x0 + i * scale, y0 + j * scale,
                              x0 + i * scale + scale - 1, y0 + j * scale + scale - 1, colour)

    def save(self, path):
        raw = b''.join(b'\0' + b''.join(struct.pack('4B', *c) for c in row) for row in self.px)

        def chunk(kind, data):
            body = kind + data
            return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body))

        header = struct.pack('>IIBBBBB', self.size, self.size, 8, 6, 0, 0, 0)
        with open(path, 'wb') as out:
            out.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) +
                      chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


BLACK = (40, 40, 40, 255)
WHITE = (255, 255, 255, 255)
YELLOW = (240, 200, 60, 255)
DARK_YELLOW = (180, 140, 30, 255)
BLUE = (40, 90, 200, 255)
LIGHT_BLUE = (120, 170, 240, 255)
GREEN = (40, 160, 70, 255)
RED = (200, 50, 40, 255)
GREY = (190, 190, 190, 255)

QUESTION = [
    ' ### ',
    '#   #',
    '    #',
    '   # ',
    '  #  ',
    '     ',
    '  #  ',
]


def open_image():
    c = Canvas(16)
    c.rect(1, 4, 6, 5, DARK_YELLOW)
    c.rect(1, 5, 14, 13, DARK_YELLOW)
    c.rect(3, 7, 15, 13, YELLOW)
    c.frame(1, 5, 14, 13, BLACK)
    return c


def save_image():
    c = Canvas(16)
    c.rect(1, 1, 14, 14, BLUE)
    c.rect(4, 1, 11, 6, WHITE)
    c.rect(9, 2, 10, 5, BLUE)
    c.rect(4, 9, 11, 14, GREY)
    c.frame(1, 1, 14, 14, BLACK)
    return c


def help_image():
    c = Canvas(16)
    c.disc(8, 8, 7.5, BLUE)
    c.bitmap(6, 4, [r.replace(' ', '.') for r in ['###', '#.#', '..#', '.#.', '...', '.#.']],
             WHITE, 1)
    c.rect(6, 4, 8, 4, WHITE)
    return c


def compile_image():
    # A sheet of pages and a green arrow into a closed book.
    c = Canvas(16)
    c.rect(1, 2, 6, 12, WHITE)
    c.frame(1, 2, 6, 12, BLACK)
    for y in (4, 6, 8, 10):
        c.rect(2, y, 5, y, GREY)
    for i in range(4):
        c.rect(7 + i, 7 - i, 7 + i, 7 + i, GREEN)
    c.rect(10, 3, 14, 14, RED)
    c.frame(10, 3, 14, 14, BLACK)
    return c


def program_icon():
    c = Canvas(32)
    c.rect(5, 3, 25, 28, BLUE)
    c.rect(7, 3, 8, 28, LIGHT_BLUE)
    c.rect(25, 5, 28, 29, WHITE)
    c.frame(25, 5, 28, 29, BLACK)
    c.frame(5, 3, 25, 28, BLACK)
    c.bitmap(11, 8, QUESTION, YELLOW, 2)
    return c


if __name__ == '__main__':
    open_image().save('open.png')
    save_image().save('save.png')
    help_image().save('help.png')
    compile_image().save('compile.png')
    program_icon().save('quorlin.png')
