#!/usr/bin/env python3
"""Writes runtime/input/keyboard_table.cpp: the 528 rows of KeyTranslationTable.

Input: the US keyboard layout below (set-1 scan code of each key and the two
characters it types) and the fixed rows of the editing, function and keypad keys.
Run from the repository root:  python3 tools/gen_keyboard_table.py
"""

# (scan code, unshifted, shifted) for every key that types a printable character.
US_KEYS = [
    (2, "1", "!"), (3, "2", "@"), (4, "3", "#"), (5, "4", "$"), (6, "5", "%"),
    (7, "6", "^"), (8, "7", "&"), (9, "8", "*"), (10, "9", "("), (11, "0", ")"),
    (12, "-", "_"), (13, "=", "+"),
    (16, "q", "Q"), (17, "w", "W"), (18, "e", "E"), (19, "r", "R"), (20, "t", "T"),
    (21, "y", "Y"), (22, "u", "U"), (23, "i", "I"), (24, "o", "O"), (25, "p", "P"),
    (26, "[", "{"), (27, "]", "}"),
    (30, "a", "A"), (31, "s", "S"), (32, "d", "D"), (33, "f", "F"), (34, "g", "G"),
    (35, "h", "H"), (36, "j", "J"), (37, "k", "K"), (38, "l", "L"), (39, ";", ":"),
    (40, "'", '"'), (41, "`", "~"),
    (43, "\\", "|"),
    (44, "z", "Z"), (45, "x", "X"), (46, "c", "C"), (47, "v", "V"), (48, "b", "B"),
    (49, "n", "N"), (50, "m", "M"), (51, ",", "<"), (52, ".", ">"), (53, "/", "?"),
]

# Control characters of the keys that have one (either case of the key).
CTRL_OF_KEY = {"[": 27, "\\": 28, "]": 29, "6": 30, "-": 31, "2": 0x0300}

# row: (scan, none, shift, ctrl, alt) for the named keys among rows 0-255.
NAMED_CHAR_ROWS = {
    8: (14, 8, 8, 127, 0x0E00),
    9: (15, 9, 0x0F00, 0x9400, 0),
    13: (28, 13, 13, 10, 0),
    27: (1, 27, 27, 27, 0),
    32: (57, 32, 32, 32, 0),
}

# Extended keys, by scan code: (scan field, none, shift, ctrl, alt).
EXTENDED_ROWS = {
    71: (71, 0x4700, 0x4700, 0x7700, 0x9700),
    72: (72, 0x4800, 0x4800, 0x8D00, 0x9800),
    73: (73, 0x4900, 0x4900, 0x8400, 0x9900),
    75: (75, 0x4B00, 0x4B00, 0x7300, 0x9B00),
    77: (77, 0x4D00, 0x4D00, 0x7400, 0x9D00),
    79: (79, 0x4F00, 0x4F00, 0x7500, 0x9F00),
    80: (80, 0x5000, 0x5000, 0x9100, 0xA000),
    81: (81, 0x5100, 0x5100, 0x7600, 0xA100),
    82: (82, 0x5200, 0x5200, 0x9200, 0xA200),
    83: (83, 0x5300, 0x5300, 0x9300, 0xA300),
    133: (87, 0x8500, 0x8500, 0x8900, 0x8B00),
    134: (88, 0x8600, 0x8600, 0x8A00, 0x8C00),
}
for f in range(59, 69):  # F1-F10
    EXTENDED_ROWS[f] = (f, f * 256, (f + 25) * 256, (f + 35) * 256, (f + 45) * 256)

# Keypad rows 512-527: (name, scan, none, shift, ctrl, alt, numlock, numlock+shift).
KEYPAD_ROWS = [
    ("0/Ins", 82, 0x5200, "0", 0x9200, 0, "0", 0x5200),
    ("1/End", 79, 0x4F00, "1", 0x7500, 0, "1", 0x4F00),
    ("2/Down", 80, 0x5000, "2", 0x9100, 0, "2", 0x5000),
    ("3/PgDn", 81, 0x5100, "3", 0x7600, 0, "3", 0x5100),
    ("4/Left", 75, 0x4B00, "4", 0x7300, 0, "4", 0x4B00),
    ("5", 76, 0x4C00, "5", 0x8F00, 0, "5", 0x4C00),
    ("6/Right", 77, 0x4D00, "6", 0x7400, 0, "6", 0x4D00),
    ("7/Home", 71, 0x4700, "7", 0x7700, 0, "7", 0x4700),
    ("8/Up", 72, 0x4800, "8", 0x8D00, 0, "8", 0x4800),
    ("9/PgUp", 73, 0x4900, "9", 0x8400, 0, "9", 0x4900),
    ("./Del", 83, 0x5300, ".", 0x9300, 0, ".", 0x5300),
    ("/", 53, "/", "/", 0x9500, 0xA400, "/", "/"),
    ("*", 55, "*", "*", 0x9600, 0x3700, "*", "*"),
    ("-", 74, "-", "-", 0x8E00, 0x4A00, "-", "-"),
    ("+", 78, "+", "+", 0x9000, 0x4E00, "+", "+"),
    ("Enter", 28, 13, 13, 10, 0xA600, 13, 13),
]


def val(v):
    return ord(v) if isinstance(v, str) else v


def char_rows():
    rows = [[c, 0, 0, 0, 0, 0, 0, 0, 0, 0] for c in range(256)]
    for c, (scan, none, shift, ctrl, alt) in NAMED_CHAR_ROWS.items():
        rows[c] = [c, scan, none, shift, ctrl, alt, 0, 0, 0, 0]
    for scan, lower, upper in US_KEYS:
        base = lower if lower.isalpha() else None
        alt = (scan + 118) * 256 if 2 <= scan <= 13 else scan * 256
        for ch in (lower, upper):
            c = ord(ch)
            if ch.isalpha():
                ctrl = ord(lower) - ord("a") + 1
            else:
                ctrl = CTRL_OF_KEY.get(lower, 0)
            field0 = ord(base) if base else c
            rows[c] = [field0, scan, c, c, ctrl, alt, 0, 0, 0, 0]
    return rows


def extended_rows():
    rows = []
    for scan in range(256):
        if scan in EXTENDED_ROWS:
            s, none, shift, ctrl, alt = EXTENDED_ROWS[scan]
            rows.append([scan * 256, s, none, shift, ctrl, alt, 0, 0, 0, 0])
        else:
            rows.append([scan * 256, 0, 0, 0, 0, 0, 0, 0, 0, 0])
    return rows


def keypad_rows():
    rows = []
    for n, (name, scan, none, shift, ctrl, alt, num, num_shift) in enumerate(KEYPAD_ROWS):
        rows.append([100256 + n, scan, val(none), val(shift), ctrl, alt, val(num), 0, 0, val(num_shift)])
    return rows


def fmt(v):
    return f"0x{v:04X}" if v >= 256 and v < 0x10000 else str(v)


def main():
    rows = char_rows() + extended_rows() + keypad_rows()
    assert len(rows) == 528
    out = []
    out.append("// KeyTranslationTable: what each key stores in the key buffer under each modifier.")
    out.append("// Generated by tools/gen_keyboard_table.py; edit the generator, not this file.")
    out.append("#include \"runtime/input/keyboard_internal.h\"")
    out.append("")
    out.append("namespace {")
    out.append("// base, scan, none, shift, ctrl, alt, numlock, 0, 0, numlock+shift")
    out.append("constexpr KeyTableRow KeyTranslationTable[key_table_rows] = {")
    for i, r in enumerate(rows):
        if i == 0:
            out.append("    // Rows 0-255: characters.")
        if i == 256:
            out.append("    // Rows 256-511: extended keys, by scan code.")
        if i == 512:
            out.append("    // Rows 512-527: the keypad, by key symbol 256-271.")
        out.append("    {{" + ", ".join(fmt(v) for v in r) + f"}}}},  // {i}")
    out.append("};")
    out.append("}  // namespace")
    out.append("")
    out.append("const KeyTableRow& key_table_row(int32_t index) {")
    out.append("    if (index < 0 || index >= key_table_rows) index = 0;")
    out.append("    return KeyTranslationTable[index];")
    out.append("}")
    with open("runtime/input/keyboard_table.cpp", "w") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
