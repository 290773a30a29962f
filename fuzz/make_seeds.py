#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets that start from made-up inputs:
small files built here byte by byte (pictures, a one-glyph font, a sound),
never taken from elsewhere. Run from anywhere; it rewrites fuzz/corpus/<target>/seed*."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, seeds):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    for old in os.listdir(folder):
        if old.startswith("seed"):
            os.remove(os.path.join(folder, old))
    for i, data in enumerate(seeds, 1):
        with open(os.path.join(folder, "seed%d" % i), "wb") as f:
            f.write(data)


# --- pictures --------------------------------------------------------------------------------
def png(width, height, colour_type, rows, palette=None, trns=None):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0))
    if palette:
        out += chunk(b"PLTE", bytes(c for rgb in palette for c in rgb))
    if trns:
        out += chunk(b"tRNS", trns)
    out += chunk(b"IDAT", zlib.compress(b"".join(b"\0" + r for r in rows)))
    return out + chunk(b"IEND", b"")


def bmp(width, height, bits, pixels, palette=()):
    row = (width * bits + 31) // 32 * 4
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    body = b"".join(pixels[y].ljust(row, b"\0") for y in range(height))
    offset = 14 + 40 + len(table)
    return (b"BM" + struct.pack("<IHHI", offset + len(body), 0, 0, offset) +
            struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(body), 2835, 2835, len(palette), 0) +
            table + body)


def tga():  # 2 x 2, 24-bit, uncompressed
    return bytes((0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 24, 0)) + bytes(range(12))


def pictures():
    """Each file after its control byte: bits 0-2 the name's extension (0 none, 1 .tga, 2 .xpm, 3 .gif,
    4 .png, 5 .bmp), bits 3-4 where it goes (mode 32, mode 256, a 16-colour dest, a 256-colour dest)."""
    rgba = [bytes((255, 0, 0, 255, 0, 255, 0, 0)), bytes((0, 0, 255, 128, 255, 255, 255, 255))]
    indexed = [b"\x00\x01", b"\x02\x00"]
    return [
        b"\x04" + png(2, 2, 6, rgba),
        b"\x0c" + png(2, 2, 3, indexed, palette=[(0, 0, 0), (255, 255, 0), (0, 128, 255)], trns=b"\x00"),
        b"\x15" + bmp(2, 2, 24, [b"\x00\x00\xff\x00\xff\x00", b"\xff\x00\x00\xff\xff\xff"]),
        b"\x1d" + bmp(4, 2, 8, [b"\x00\x01\x02\x03", b"\x03\x02\x01\x00"], palette=[(0, 0, 0), (255, 0, 0), (0, 255, 0), (0, 0, 255)]),
        b"\x01" + tga(),
        b"\x10" + b"P6\n2 2\n255\n" + bytes(range(0, 240, 20)),
        b"\x1a" + b'/* XPM */\nstatic char *p[] = {\n"2 2 2 1",\n"a c #FF0000",\n"b c None",\n"ab",\n"ba"};\n',
    ]


# --- a one-glyph TrueType font ------------------------------------------------------------------
def font(fixed):
    units = 1000
    # Glyph 0 empty (.notdef), glyph 1 a square, mapped from 'A' and ' '.
    square = struct.pack(">hhhhh", 1, 100, 0, 500, 700) + struct.pack(">H", 3) + b"\0\0" + bytes([1] * 4)
    square += struct.pack(">hhhh", 100, 400, 0, -400) + struct.pack(">hhhh", 0, 0, 700, 0)
    square += b"\0" * (-len(square) % 4)
    glyf = square
    loca = struct.pack(">HHH", 0, 0, len(square) // 2)
    # Format 4: ' ' and 'A' to glyph 1, and the closing segment.
    ends = starts = [0x20, 0x41, 0xFFFF]
    deltas = [(1 - 0x20) & 0xFFFF, (1 - 0x41) & 0xFFFF, 1]
    cmap_sub = struct.pack(">HHHHHHH", 4, 0, 0, 6, 4, 1, 2)
    cmap_sub += struct.pack(">3H", *ends) + b"\0\0" + struct.pack(">3H", *starts)
    cmap_sub += struct.pack(">3H", *deltas) + struct.pack(">3H", 0, 0, 0)
    cmap_sub = cmap_sub[:2] + struct.pack(">H", len(cmap_sub)) + cmap_sub[4:]
    cmap = struct.pack(">HHHHI", 0, 1, 3, 1, 12) + cmap_sub
    tables = {
        b"cmap": cmap,
        b"glyf": glyf,
        b"head": struct.pack(">IIIIHHqqhhhhHHhhh", 0x10000, 0x10000, 0, 0x5F0F3CF5, 0, units, 0, 0,
                             0, 0, 600, 800, 0, 8, 2, 0, 0),
        b"hhea": struct.pack(">IhhhHhhhhhhhhhhhH", 0x10000, 800, -200, 0, 600, 0, 100, 600, 1, 0, 0,
                             0, 0, 0, 0, 0, 2),
        b"hmtx": struct.pack(">HhHh", 600, 0, 600, 100),
        b"loca": loca,
        b"maxp": struct.pack(">IHHHHHHHHHHHHHH", 0x10000, 2, 4, 1, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0),
        b"name": struct.pack(">HHH", 0, 0, 6),
        b"post": struct.pack(">IIhhIIIII", 0x30000, 0, -100, 50, 1 if fixed else 0, 0, 0, 0, 0),
    }
    count = len(tables)
    out = struct.pack(">IHHHH", 0x10000, count, 128, 3, count * 16 - 128)
    offset = 12 + 16 * count
    directory, blobs = b"", b""
    for tag in sorted(tables):
        data = tables[tag]
        padded = data + b"\0" * (-len(data) % 4)
        checksum = sum(struct.unpack(">%dI" % (len(padded) // 4), padded)) & 0xFFFFFFFF
        directory += tag + struct.pack(">III", checksum, offset + len(blobs), len(data))
        blobs += padded
    return out + directory + blobs


def fonts():
    return [bytes((12, 0x41, 0)) + font(False), bytes((0xF0, 0x20, 0)) + font(True), bytes((20, 0x42, 0)) + font(False)]


# --- a short sound ------------------------------------------------------------------------------
def wav():
    samples = b"".join(struct.pack("<h", (i % 40 - 20) * 1000) for i in range(400))
    fmt = struct.pack("<HHIIHH", 1, 1, 22050, 44100, 2, 16)
    return (b"RIFF" + struct.pack("<I", 4 + 8 + len(fmt) + 8 + len(samples)) + b"WAVE" +
            b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(samples)) + samples)


def main():
    write("image_load_fuzz", pictures())
    write("font_load_fuzz", fonts())
    write("sound_caps_fuzz", [b"SYNC,VOL\n" + wav(), b" len , pause\n" + wav(), b"SETPOS\n", b"VOL,VOL\n",
                              b"sync,LEN,PAUSE,VOL\n" + wav(), b""])
    write("music_fuzz", [b"T120 O4 L8 CDEFGAB>C", b"MB ML O2 C4. D#8 E-16 P4 N36", b"X\x03\x00\x00\x00",
                         b"\x90MS L64 " + b"CDEFG" * 40, b"O=\x05; T=\x07;"])

    def opening(mode, access, lock, number, length, flags, name):
        return bytes((mode + 1, access + 1, lock + 1, number + 1)) + struct.pack("<h", length) + bytes((flags,)) + name
    write("files_open_fuzz", [
        opening(2, 0, 0, 1, 0, 0, b"DATA.TXT"),
        opening(4, 2, 3, 2, 0, 0, b"NEW.TXT") + b"\xff" + opening(1, 0, 0, 2, 64, 1, b"DATA.TXT"),
        opening(ord("R") - 1, 0, 0, 1, 0, 2, b"data.txt") + b"\xff" + opening(ord("i") - 1, 0, 0, 3, 0, 2, b"MARKED.TXT"),
        opening(2, 0, 0, 1, 0, 0, b"COM1:9600,N,8,1") + b"\xff" + opening(5, 0, 0, 4, 0, 0, b"DATA.TXT"),
        opening(3, 1, 2, 1, 16, 1, b"NUL\0NAME"),
    ])
    keysyms = struct.pack("<8I", 0x61, 0x41, 0x40, 0xfe51, 0x20ac, 0x1000000 + 0x263A, 0xfe50, 0x65)

    def key(kind, sym, ch=0, mod=0, code=0):
        return bytes((kind, sym & 255, sym >> 8, ch & 255, ch >> 8, mod, code))
    write("key_events_fuzz", [
        keysyms + b"\0\0" + key(1, 97, 97) + key(0, 97) + key(7, 0),
        keysyms + b"\x01\x00" + key(1, 307, 0, 0, 108) + key(1, 101, 0x20ac, 0, 26) + key(0, 101) + key(0, 307) + key(7, 0),
        keysyms + b"\0\0" + key(1, 0, 0, 0, 35) + key(1, 101, 101) + key(1, 32, 32) + key(7, 0),
        keysyms + b"\x10\x00" + key(1, 308) + key(1, 257) + key(1, 258) + key(0, 308) + key(4, 244, 1) + key(7, 0),
        keysyms + b"\0\0" + key(1, 19) + key(0, 19) + key(1, 306) + key(1, 318) + key(5, 7) + key(6, 6) + key(1, 120, 0xE282) + key(7, 0),
    ])
    text = b"Hello  world, strings of the runtime " * 2
    write("strings_fuzz", [
        bytes((0, 0, 0, 20, 5, 0, 1, 0, 7, 1, 0, 3, 8, 1, 0, 2, 11, 0, 0, 0)) + text,
        bytes((1, 0, 0, 30, 5, 3, 1, 0, 6, 3, 7, 0, 10, 1, 0, 0, 13, 0, 0, 0)) + text,
        bytes((2, 0, 0, 30, 9, 1, 0, 0, 5, 5, 1, 0, 4, 5, 0, 0, 12, 0, 0, 0)) + text,
        bytes((3, 0, 0, 22, 0, 0, 0, 9, 6, 1, 1, 0, 6, 1, 1, 0, 7, 1, 0x90, 0xfe)) + text,
    ])
    write("devices_fuzz", [
        bytes((4, 2, 1, 1, 12, 4, 0, 0)) + bytes((5, 0, 1, 0, 0x80, 0, 8, 0, 2, 0, 0, 1, 6, 0, 0, 1, 0, 0)),
        bytes((4, 2, 1, 1, 0, 0, 0, 0)) + bytes((1, 1, 0, 0, 0, 0x80, 9, 0, 0, 1, 1, 0x80, 10, 4, 0, 2, 1, 0x80)),
        bytes((40, 8, 3, 2, 1, 1, 1, 1)) + bytes((0, 0, 97, 0, 0, 0, 3, 0, 3, 0, 0, 0, 1, 1, 0, 0, 1, 0x80)),
    ])


if __name__ == "__main__":
    main()
