#!/usr/bin/env python3
"""Writes jet/format/collation/SortTables.cpp: the per-character index codes of
the three text sort orders the engine can encode (Jet 3 General, Jet 4
General legacy and General), packed as runs of characters whose codes step
evenly. Source: the index-code resource files of Jackcess (Apache-2.0), see
jet/format/collation/PROVENANCE.md. Standard library only:

  python3 tools/gen_sort_tables.py /path/to/jackcess      # a checkout or bare git dir

The tables are written as base64 text.
Each run: a kind byte (kind | inline length << 3 | extra length << 6, an
inline length of 8 written as 7, which no character has), then
varint (count << 1 | extras differ), then the first inline code (big-endian,
inline length bytes), then when count > 1 a zigzag varint step added to the
inline code (as a big-endian number) from one character to the next, then the
extra bytes: once, or once per character when they differ. The script decodes
what it wrote and compares it with the source before writing anything."""
import base64
import os
import subprocess
import sys

RESOURCES = "src/main/resources/com/healthmarketscience/jackcess/"
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "jet", "format",
                   "collation", "SortTables.cpp")

# Kinds, as jet/format/collation/Collation.h numbers them.
IGNORED, PLAIN, ACCENTED, DEFERRED, COMBINING, KANA_SMALL, KANA, LETTER97 = range(8)
LETTERS = {"X": IGNORED, "S": PLAIN, "I": ACCENTED, "U": DEFERRED, "P": COMBINING, "G": LETTER97}


def read_resource(source, name):
    if os.path.isdir(os.path.join(source, "objects")) or source.endswith(".git"):
        return subprocess.run(["git", "-C", source, "show", "HEAD:" + RESOURCES + name],
                              check=True, capture_output=True, text=True).stdout
    with open(os.path.join(source, RESOURCES, name), encoding="ascii") as f:
        return f.read()


def hex_bytes(s):
    if len(s) % 2:
        s = "0" + s  # the files drop a leading zero
    return bytes.fromhex(s)


def parse_line(line):
    """One line of a codes file -> (kind, inline bytes, extra bytes)."""
    letter, fields = line[0], (line[1:].split(",") if len(line) > 1 else [])
    if letter == "Z":
        kind = KANA_SMALL if fields[2] == "1" else KANA
        return kind, hex_bytes(fields[0]), hex_bytes(fields[1]) if fields[1] else b""
    kind = LETTERS[letter]
    if kind in (DEFERRED, COMBINING):  # their one byte goes with the extras
        return kind, b"", hex_bytes(fields[0])
    if kind == IGNORED:
        return kind, b"", b""
    return kind, hex_bytes(fields[0]), hex_bytes(fields[1]) if len(fields) > 1 else b""


def surrogate(c):
    """Surrogate code units are not in the files; their codes are computed
    (Jackcess GeneralLegacyIndexCodes): an inline pair and the extra byte 3F."""
    if c < 0xDC00:
        code = c - 10238
    else:
        offset = (c - 0xDC00) % 1024
        bounds = [(8, 9992), (8 + 254, 9990), (8 + 2 * 254, 9988), (8 + 3 * 254, 9986)]
        code = c - next((v for limit, v in bounds if offset < limit), 9984)
    return ACCENTED, code.to_bytes(2, "big"), b"\x3f"


def load_jet4(source, base, ext):
    lines = read_resource(source, base).splitlines() + read_resource(source, ext).splitlines()
    codes, it = [], iter(lines)
    for c in range(0x10000):
        codes.append(surrogate(c) if 0xD800 <= c <= 0xDFFF else parse_line(next(it)))
    return codes


def load_jet3(source):
    """Jet 3 text is code-page bytes (1252), so its table is indexed by byte.
    The file is indexed by Unicode value below 0x100 and maps the characters
    that 1252 puts at 0x80..0x9F back to those bytes; check that it does, so
    that its lines are the bytes' codes."""
    for line in read_resource(source, "index_mappings_ext_gen_97.txt").split():
        char, byte = map(int, line.split(","))
        assert bytes([byte]).decode("cp1252") == chr(char), line
    codes = [parse_line(l) for l in read_resource(source, "index_codes_gen_97.txt").splitlines()]
    return access97_corrections(codes)


def access97_corrections(codes):
    """Where Access 97's keys differ from the file. NUL gets the inline 10 of
    the other control bytes ("Lock" and a NUL: Access wrote 10 for it). A
    character that expands to letters taking accents (the file's G, such as
    the two s of ß) counts as that many of them before the next accent
    nibble, as Access counted ß in "Plutzer Lebensmittelgroßmärkte"; it
    becomes a G with its two inline bytes."""
    codes = list(codes)
    codes[0] = (PLAIN, b"\x10", b"")
    letters = {inline for kind, inline, _ in codes if kind == LETTER97}
    for i, (kind, inline, extra) in enumerate(codes):
        if kind == PLAIN and len(inline) > 1 and all(bytes([b]) in letters for b in inline):
            codes[i] = (LETTER97, inline, extra)
    return codes


def varint(n, out):
    while True:
        b = n & 0x7F
        n >>= 7
        out.append(b | (0x80 if n else 0))
        if not n:
            return


def pack(codes):
    out, c = bytearray(), 0
    while c < len(codes):
        kind, inline, extra = codes[c]
        value = int.from_bytes(inline, "big") if inline else 0
        n, step, differ = 1, 0, False
        while c + n < len(codes):
            k2, i2, e2 = codes[c + n]
            if k2 != kind or len(i2) != len(inline) or len(e2) != len(extra):
                break
            v2 = int.from_bytes(i2, "big") if i2 else 0
            if n == 1:
                step = v2 - value
            elif v2 != value + step * n:
                break
            differ = differ or e2 != extra
            n += 1
        if n == 1:
            step = 0
        assert len(inline) in (0, 1, 2, 3, 4, 5, 6, 8) and len(extra) <= 3
        out.append(kind | (min(len(inline), 7) << 3) | (len(extra) << 6))
        varint((n << 1) | differ, out)
        out += inline
        if n > 1:
            varint(step * 2 if step >= 0 else -step * 2 - 1, out)
        for k in range(n if differ else 1):
            out += codes[c + k][2]
        c += n
    return bytes(out)


def unpack(data, count):
    """The C++ decoder's algorithm, to prove the packing before it is written."""
    codes, p = [], 0

    def uvarint():
        nonlocal p
        n, shift = 0, 0
        while True:
            b = data[p]
            p += 1
            n |= (b & 0x7F) << shift
            shift += 7
            if not b & 0x80:
                return n

    while len(codes) < count:
        head = data[p]
        p += 1
        kind, ilen, elen = head & 7, (head >> 3) & 7, head >> 6
        ilen = 8 if ilen == 7 else ilen
        n = uvarint()
        differ, n = n & 1, n >> 1
        value = int.from_bytes(data[p:p + ilen], "big")
        p += ilen
        step = 0
        if n > 1:
            z = uvarint()
            step = z >> 1 if not z & 1 else -((z + 1) >> 1)
        extras = []
        for _ in range(n if differ else 1):
            extras.append(bytes(data[p:p + elen]))
            p += elen
        for k in range(n):
            inline = (value + step * k).to_bytes(ilen, "big") if ilen else b""
            codes.append((kind, inline, extras[k if differ else 0]))
    assert p == len(data)
    return codes


def emit(name, data, count, out):
    text = base64.b64encode(data).decode("ascii")
    out.append("// %d characters in %d bytes, base64.\n" % (count, len(data)))
    out.append("extern const char %s[] =\n" % name)
    for i in range(0, len(text), 92):
        out.append('    "%s"\n' % text[i:i + 92])
    out.append("    ;\nextern const size_t %sSize = sizeof(%s) - 1;\n\n" % (name, name))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    source = sys.argv[1]
    tables = [
        ("kGeneral97", load_jet3(source)),
        ("kGeneralLegacy", load_jet4(source, "index_codes_genleg.txt", "index_codes_ext_genleg.txt")),
        ("kGeneral", load_jet4(source, "index_codes_gen.txt", "index_codes_ext_gen.txt")),
    ]
    out = ["// Generated by tools/gen_sort_tables.py from Jackcess's index-code files\n",
           "// (Apache-2.0); see PROVENANCE.md beside this file. Do not edit.\n\n",
           "#include \"jet/format/collation/SortTables.h\"\n\n",
           "namespace jet::collation {\n\n",
           "// clang-format off\n"]
    for name, codes in tables:
        data = pack(codes)
        assert unpack(data, len(codes)) == codes, name
        emit(name, data, len(codes), out)
        print("%s: %d characters, %d bytes" % (name, len(codes), len(data)))
    out.append("// clang-format on\n\n}  // namespace jet::collation\n")
    with open(OUT, "w", encoding="ascii") as f:
        f.write("".join(out))


if __name__ == "__main__":
    main()
