#!/usr/bin/env python3
"""Draws the two radio-button pictures of form fields (28 x 25, 8-bit palette PNG: the
selected button with an 8-colour palette, the empty one with 4 colours) and prints them
as C++ byte lists for src/rtf/links.cc. Each must fit in 256 bytes."""
import math
import struct
import zlib

WIDTH, HEIGHT = 28, 25
CX, CY = 13.5, 12.5
RING = 9.0


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def pixel(x, y, selected):
    # Sample four points per pixel and take the darkest class that covers two of them.
    marks = []
    for sx, sy in ((0.25, 0.25), (0.75, 0.25), (0.25, 0.75), (0.75, 0.75)):
        d = math.hypot(x + sx - CX, y + sy - CY)
        if abs(d - RING) <= 0.9:
            marks.append("ring")
        elif d < RING - 0.9:
            marks.append("face")
        else:
            marks.append("ground")
        if selected and d <= 3.6:
            marks[-1] = "dot"
    ring, dot, face = marks.count("ring"), marks.count("dot"), marks.count("face")
    if selected and dot == 4:
        return 4
    if selected and dot >= 2:
        return 5
    if selected and dot == 1:
        return 6
    if ring >= 3:
        return 1
    if ring == 2:
        return 2
    if ring == 1:
        return 3
    if selected and face == 4:
        return 7
    return 0


def png(selected):
    if selected:
        palette = [0xFFFFFF, 0x404040, 0x808080, 0xC8C8C8, 0x000000, 0x303030, 0x909090,
                   0xFCFCFC]
    else:
        palette = [0xFFFFFF, 0x404040, 0x808080, 0xC8C8C8]
    rows = b"".join(
        b"\0" + bytes(pixel(x, y, selected) for x in range(WIDTH)) for y in range(HEIGHT))
    data = b"\x89PNG\r\n\x1a\n"
    data += chunk(b"IHDR", struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 3, 0, 0, 0))
    data += chunk(b"PLTE", b"".join(struct.pack(">I", c)[1:] for c in palette))
    data += chunk(b"IDAT", zlib.compress(rows, 9))
    data += chunk(b"IEND", b"")
    assert len(data) <= 256, len(data)
    return data


for name, selected in (("kRadioSelectedPng", True), ("kRadioEmptyPng", False)):
    data = png(selected)
    print(f"constexpr std::uint8_t {name}[] = {{  // {len(data)} bytes")
    for i in range(0, len(data), 12):
        print("    " + ", ".join(f"0x{b:02x}" for b in data[i:i + 12]) + ",")
    print("};")
