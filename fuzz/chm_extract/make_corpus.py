#!/usr/bin/env python3
"""Writes the seed corpus of the chm_extract fuzz target: one small good help file and
crafted variants of it, each damaged in one way that readers have got wrong before.

Usage: make_corpus.py BASE.chm OUTDIR
BASE.chm is a small help file with /index.htm, /two.htm and /a.png in it."""
import os
import random
import struct
import sys


def encint(data, pos):
    value = 0
    while True:
        b = data[pos]
        pos += 1
        value = (value << 7) | (b & 0x7F)
        if not b & 0x80:
            return value, pos


def entry(data, name):
    """Position of the name, and of the section, offset and length fields after it."""
    key = bytes([len(name)]) + name
    at = data.find(key)
    assert at >= 0, name
    pos = at + 1 + len(name)
    fields = []
    for _ in range(3):
        start = pos
        value, pos = encint(data, pos)
        fields.append((start, pos, value))
    return at + 1, fields


def sec0(data):
    return struct.unpack_from('<Q', data, 0x58)[0]


def sys_file(data, name):
    _, fields = entry(data, name)
    return sec0(data) + fields[1][2], fields[2][2]


RESET = b'::DataSpace/Storage/MSCompressed/Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/ResetTable'
CONTROL = b'::DataSpace/Storage/MSCompressed/ControlData'
SPAN = b'::DataSpace/Storage/MSCompressed/SpanInfo'
CONTENT = b'::DataSpace/Storage/MSCompressed/Content'


def main():
    base = bytearray(open(sys.argv[1], 'rb').read())
    base[0x28] = 0x11
    out = sys.argv[2]
    os.makedirs(out, exist_ok=True)
    cases = {'good': bytearray(base)}

    def renamed(old, new):
        d = bytearray(base)
        at, _ = entry(d, old)
        d[at:at + len(new)] = new
        return d

    cases['name-climbs'] = renamed(b'/index.htm', b'/../up.htm')
    cases['name-backslash-climbs'] = renamed(b'/index.htm', b'/..\\up.htm')
    cases['name-absolute'] = renamed(b'/index.htm', b'//etc/x.ht')
    cases['name-drive-letter'] = renamed(b'/index.htm', b'/C:/up.htm')
    cases['name-nul'] = renamed(b'/index.htm', b'/ind\0x.htm')
    cases['name-empty'] = renamed(b'/two.htm', b'/\0\0\0\0\0\0\0')

    def patched(*changes):
        """A copy of the base file with each (struct format, offset, value) packed into it."""
        d = bytearray(base)
        for fmt, offset, value in changes:
            struct.pack_into(fmt, d, offset, value)
        return d

    reset, size = sys_file(base, RESET)
    d = bytearray(base)
    d[reset + 0x28:reset + size] = b'\xee' * (size - 0x28)
    cases['reset-table-lies'] = d
    cases['reset-table-huge-length'] = patched(('<Q', reset + 0x10, 1 << 62))
    cases['reset-table-huge-count'] = patched(('<I', reset + 4, 0x7FFFFFFF))

    control, _ = sys_file(base, CONTROL)
    cases['control-reset-interval-zero'] = patched(('<I', control + 0x0C, 0))
    cases['control-window-not-power-of-two'] = patched(('<I', control + 0x10, 3))
    cases['spaninfo-negative'] = patched(('<q', sys_file(base, SPAN)[0], -5))

    def field_at_most(field):
        """The largest number the field's bytes can encode, in /two.htm's entry."""
        d = bytearray(base)
        _, fields = entry(d, b'/two.htm')
        start, end, _ = fields[field]
        d[start:end - 1] = b'\xff' * (end - 1 - start)
        d[end - 1] = 0x7F
        return d

    cases['offset-past-end'] = field_at_most(1)
    cases['length-past-end'] = field_at_most(2)

    # The directory header (ITSP) starts at 0x78 in the base file.
    cases['directory-chunk-count-huge'] = patched(('<I', 0x78 + 0x2C, 100000))
    cases['directory-index-root-past-end'] = patched(('<I', 0x78 + 0x1C, 7),
                                                     ('<I', 0x78 + 0x18, 2))

    cases['truncated-half'] = bytearray(base[:len(base) // 2])
    cases['truncated-before-content'] = bytearray(base[:sys_file(base, CONTENT)[0] + 16])

    rng = random.Random(20240601)
    at, size = sys_file(base, CONTENT)
    for n in range(3):
        d = bytearray(base)
        for _ in range(8):
            d[at + rng.randrange(size)] ^= 1 << rng.randrange(8)
        cases['content-bit-flips-%d' % n] = d

    for name, data in cases.items():
        with open(os.path.join(out, name + '.chm'), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    main()
