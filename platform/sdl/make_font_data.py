#!/usr/bin/env python3
"""Writes sdl_font_data.cpp: the two bitmap UI fonts of the SDL canvas. The bold system font is a
console font of Debian's console-setup-linux (public domain), made proportional; the ANSI font,
variable-width as the window system's UI font is, is Adobe Helvetica 11 px from xfonts-100dpi
(freely redistributable, see that package's copyright file).

Run after installing console-setup-linux and xfonts-100dpi:  python3 platform/sdl/make_font_data.py
"""
import gzip
import os
import struct

SYSTEM_FONT = "Lat15-Fixed15"  # emboldened
ANSI_FONT = "/usr/share/fonts/X11/100dpi/helvR08-ISO8859-1.pcf.gz"
FIRST, LAST = 32, 126  # printable ASCII; other characters draw as '?'
CELL_WIDTH, CELL_HEIGHT = 16, 16  # the largest glyph cell sdl_font.h has room for
# The notice the Helvetica font asks every copy to carry.
ANSI_FONT_NOTICE = """\
Copyright 1984-1989, 1994 Adobe Systems Incorporated.
Copyright 1988, 1994 Digital Equipment Corporation.

Permission to use, copy, modify, distribute and sell this software
and its documentation for any purpose and without fee is hereby
granted, provided that the above copyright notices appear in all
copies and that both those copyright notices and this permission
notice appear in supporting documentation, and that the names of
Adobe Systems and Digital Equipment Corporation not be used in
advertising or publicity pertaining to distribution of the software
without specific, written prior permission.  Adobe Systems and
Digital Equipment Corporation make no representations about the
suitability of this software for any purpose.  It is provided "as
is" without express or implied warranty.
"""


def read_psf1(path):
    data = gzip.open(path).read()
    if data[:2] != b"\x36\x04":
        raise SystemExit(f"{path}: not a PSF1 font")
    mode, height = data[2], data[3]
    count = 512 if mode & 1 else 256
    glyphs = [data[4 + i * height: 4 + (i + 1) * height] for i in range(count)]
    table = {}
    if mode & 2:
        pos, glyph = 4 + count * height, 0
        while glyph < count and pos + 1 < len(data):
            (u,) = struct.unpack_from("<H", data, pos)
            pos += 2
            if u == 0xFFFF:
                glyph += 1
            elif u != 0xFFFE:
                table.setdefault(u, glyph)
    else:
        table = {c: c for c in range(count)}
    return height, glyphs, table


def read_pcf(path):
    """The font's ascent and descent, its glyphs as (left bearing, advance, ascent, rows of 0/1
    pixels) and the map from character code to glyph."""
    data = gzip.open(path).read()
    if data[:4] != b"\x01fcp":
        raise SystemExit(f"{path}: not a PCF font")
    (count,) = struct.unpack_from("<i", data, 4)
    tables = {}
    for i in range(count):
        t, fmt, size, off = struct.unpack_from("<iiii", data, 8 + 16 * i)
        tables[t] = off

    def table(kind):  # where a table's data starts, its format and its byte order
        off = tables[kind]
        (fmt,) = struct.unpack_from("<i", data, off)
        e = ">" if fmt & 4 else "<"
        return off + 4, fmt, e
    off, fmt, e = table(256 if 256 in tables else 2)
    ascent, descent = struct.unpack_from(e + "ii", data, off + 8)
    off, fmt, e = table(4)
    metrics = []
    if fmt & 0x100:
        (n,) = struct.unpack_from(e + "h", data, off)
        for i in range(n):
            metrics.append([b - 0x80 for b in data[off + 2 + 5 * i: off + 7 + 5 * i]])
    else:
        (n,) = struct.unpack_from(e + "i", data, off)
        for i in range(n):
            metrics.append(list(struct.unpack_from(e + "hhhhh", data, off + 4 + 12 * i)))
    off, fmt, e = table(8)
    (n,) = struct.unpack_from(e + "i", data, off)
    offsets = struct.unpack_from(e + f"{n}i", data, off + 4)
    base = off + 4 + 4 * n + 16
    pad = 1 << (fmt & 3)
    msbit = bool(fmt & 8)
    unit = 1 << ((fmt >> 4) & 3)
    msbyte = bool(fmt & 4)
    glyphs = []
    for i, (lsb, rsb, width, asc, desc) in enumerate(metrics):
        w = rsb - lsb
        stride = ((w + 7) // 8 + pad - 1) // pad * pad
        rows = []
        for r in range(asc + desc):
            raw = bytearray(data[base + offsets[i] + r * stride: base + offsets[i] + (r + 1) * stride])
            if unit > 1 and msbyte != msbit:
                for k in range(0, len(raw), unit):
                    raw[k:k + unit] = raw[k:k + unit][::-1]
            if not msbit:
                raw = bytearray(int(f"{b:08b}"[::-1], 2) for b in raw)
            bits = int.from_bytes(raw, "big")
            rows.append([(bits >> (len(raw) * 8 - 1 - c)) & 1 for c in range(w)])
        glyphs.append((lsb, width, asc, rows))
    off, fmt, e = table(32)
    min2, max2, min1, max1, default = struct.unpack_from(e + "hhhhh", data, off)
    per = max2 - min2 + 1
    cmap = {}
    for b1 in range(min1, max1 + 1):
        for b2 in range(min2, max2 + 1):
            (g,) = struct.unpack_from(e + "H", data, off + 10 + 2 * ((b1 - min1) * per + b2 - min2))
            if g != 0xFFFF:
                cmap[(b1 << 8) | b2] = g
    return ascent, descent, glyphs, cmap


def console_font(font):
    """The console font, emboldened, with each glyph trimmed to its ink and one column after it:
    the cell height and, per character, (rows as 16-bit masks, first inked column, advance)."""
    height, glyphs, table = read_psf1(f"/usr/share/consolefonts/{font}.psf.gz")
    chars = []
    for c in range(FIRST, LAST + 1):
        bits = [((b | (b >> 1)) & 0xFF) << 8 for b in glyphs[table.get(c, table[ord("?")])]]
        ink = 0
        for b in bits:
            ink |= b
        if ink == 0:  # space
            chars.append((bits, 0, 4 if height < 14 else 5))
        else:
            left = next(i for i in range(16) if ink & (0x8000 >> i))
            right = max(i for i in range(16) if ink & (0x8000 >> i))
            chars.append((bits, left, right - left + 2))
    return height, chars


def proportional_font(path):
    """The X11 bitmap font as drawn: each glyph placed on the baseline at its left bearing in a
    cell as high as the font, advancing by its own width."""
    ascent, descent, glyphs, cmap = read_pcf(path)
    height = ascent + descent
    chars = []
    for c in range(FIRST, LAST + 1):
        lsb, advance, glyph_ascent, pixels = glyphs[cmap.get(c, cmap[ord("?")])]
        bits = [0] * height
        for r, row in enumerate(pixels):
            y = ascent - glyph_ascent + r
            for x, on in enumerate(row):
                column = max(lsb, 0) + x
                if on and 0 <= y < height and column < CELL_WIDTH:
                    bits[y] |= 0x8000 >> column
        chars.append((bits, 0, advance))
    return height, chars


def write_font(name, source, height, chars):
    if height > CELL_HEIGHT:
        raise SystemExit(f"{source}: {height} px is higher than a glyph cell")
    out = [f"// {source}, characters {FIRST}..{LAST}.",
           f"const BitmapFont {name} = {{",
           f"    {height}, // height in pixels",
           "    {"]
    for c, (bits, _, _) in enumerate(chars):
        out.append("        {" + ", ".join(f"0x{b:04x}" for b in bits) + "}, // "
                   + repr(chr(FIRST + c)))
    out.append("    },")
    out.append("    {" + ", ".join(str(left) for _, left, _ in chars) + "},")
    out.append("    {" + ", ".join(str(advance) for _, _, advance in chars) + "},")
    out.append("};")
    return "\n".join(out)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parts = [
        "// The canvas's bitmap fonts; generated by make_font_data.py from Debian's console fonts",
        "// (console-setup-linux, public domain) and X11 100-dpi fonts (xfonts-100dpi). Do not edit",
        "// by hand.",
        '#include "platform/sdl/sdl_font.h"',
        "",
        "namespace kestrune {",
        "",
        write_font("kSystemFont", f"{SYSTEM_FONT} (emboldened)", *console_font(SYSTEM_FONT)),
        "",
        "\n".join(("// " + line).rstrip() for line in ANSI_FONT_NOTICE.splitlines()),
        write_font("kAnsiFont", os.path.basename(ANSI_FONT), *proportional_font(ANSI_FONT)),
        "",
        "} // namespace kestrune",
    ]
    with open(os.path.join(here, "sdl_font_data.cpp"), "w") as f:
        f.write("\n".join(parts) + "\n")


if __name__ == "__main__":
    main()
