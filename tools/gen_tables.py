#!/usr/bin/env python3
"""Writes decoder/generated/standard_tables.cpp from the MPEG audio standards' table files.

Usage: tools/gen_tables.py [TABLE_FOLDER] [--output FILE] [--no-format]

TABLE_FOLDER defaults to tools/tables, beside this generator. The numbers are checked while they
are read (complete prefix codes, increasing band ends, allocation widths that match their classes,
...); any doubt stops the generator with a message instead of writing a table the decoder would trust.
When clang-format is on the PATH the output is formatted with the repository's style, so running
the generator again reproduces the committed file byte for byte.
"""

import argparse
import os
import shutil
import subprocess
import sys
from fractions import Fraction

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_TABLES = os.path.join(REPO, "tools", "tables")
DEFAULT_OUTPUT = os.path.join(REPO, "decoder", "generated", "standard_tables.cpp")


class TableError(Exception):
    pass


def fail(message):
    raise TableError(message)


def data_lines(path):
    """Yields (line number, fields) for every line that is not blank or a comment."""
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            text = line.split("#", 1)[0].strip()
            if text:
                yield number, text.split()


def to_int(text, where):
    try:
        return int(text)
    except ValueError:
        fail(f"{where}: '{text}' is not a whole number")


# ---------------------------------------------------------------------------------------------
# Frame header tables

VERSIONS = ("MPEG-1", "MPEG-2", "MPEG-2.5")


def read_frame_tables(folder):
    path = os.path.join(folder, "frame_tables.txt")
    bitrates = {}
    rates = {}
    for number, fields in data_lines(path):
        where = f"{path}:{number}"
        if len(fields) < 2 or fields[0] not in VERSIONS:
            fail(f"{where}: expected a version name, got '{' '.join(fields)}'")
        version, kind, values = fields[0], fields[1], [to_int(v, where) for v in fields[2:]]
        if kind in ("layer1", "layer2", "layer3"):
            if len(values) != 16:
                fail(f"{where}: a bit-rate row needs 16 entries, found {len(values)}")
            if values[0] != 0 or values[15] != 0:
                fail(f"{where}: index 0 (free format) and 15 (forbidden) must hold 0")
            if any(b <= a for a, b in zip(values[1:15], values[2:15])):
                fail(f"{where}: bit rates 1..14 must increase")
            bitrates[(version, int(kind[-1]))] = values
        elif kind == "rates":
            if len(values) != 3:
                fail(f"{where}: a sampling-rate row needs 3 entries, found {len(values)}")
            rates[version] = values
        else:
            fail(f"{where}: unknown row kind '{kind}'")
    for version in ("MPEG-1", "MPEG-2"):
        for layer in (1, 2, 3):
            if (version, layer) not in bitrates:
                fail(f"{path}: bit rates of {version} layer {layer} missing")
    for version in VERSIONS:
        if version not in rates:
            fail(f"{path}: sampling rates of {version} missing")
    for version in ("MPEG-1", "MPEG-2"):
        if any(r % 50 for r in rates[version]):
            fail(f"{path}: {version} sampling rates must be multiples of 50 Hz")
    if [2 * r for r in rates["MPEG-2.5"]] != rates["MPEG-2"]:
        fail(f"{path}: MPEG-2.5 rates must be half the MPEG-2 rates (the decoder derives them so)")
    return bitrates, rates


# ---------------------------------------------------------------------------------------------
# Scale-factor bands


def read_sfb_bands(folder, rates):
    path = os.path.join(folder, "sfb_bands.txt")
    rows = {}
    for number, fields in data_lines(path):
        where = f"{path}:{number}"
        if len(fields) < 3 or fields[0] not in VERSIONS or fields[2] not in ("long", "short"):
            fail(f"{where}: expected 'VERSION RATE long|short values...'")
        version, rate, kind = fields[0], to_int(fields[1], where), fields[2]
        values = [to_int(v, where) for v in fields[3:]]
        count, last = (23, 576) if kind == "long" else (14, 192)
        if len(values) != count:
            fail(f"{where}: a {kind} row needs {count} boundaries, found {len(values)}")
        if values[0] != 0 or values[-1] != last:
            fail(f"{where}: a {kind} row must start at 0 and end at {last}")
        if any(b <= a for a, b in zip(values, values[1:])):
            fail(f"{where}: band boundaries must increase")
        if (version, rate, kind) in rows:
            fail(f"{where}: {version} {rate} {kind} given twice")
        rows[(version, rate, kind)] = values
    for version in VERSIONS:
        for rate in rates[version]:
            for kind in ("long", "short"):
                if (version, rate, kind) not in rows:
                    fail(f"{path}: {version} {rate} Hz {kind} bands missing")
    return rows


# ---------------------------------------------------------------------------------------------
# Synthesis window


def read_synth_window(folder):
    path = os.path.join(folder, "synth_window.txt")
    texts = []
    for number, fields in data_lines(path):
        if len(fields) != 1:
            fail(f"{path}:{number}: one value per line expected")
        try:
            float(fields[0])
        except ValueError:
            fail(f"{path}:{number}: '{fields[0]}' is not a number")
        texts.append(fields[0])
    if len(texts) != 512:
        fail(f"{path}: 512 window values expected, found {len(texts)}")
    values = [float(t) for t in texts]
    # The window routines compute output samples 17..31 from the blocks of samples 15..1 read
    # backwards, which is only right where D[512 - n] = -D[n].
    for j in range(1, 16):
        for i in range(16):
            n = j + 32 * i
            if values[512 - n] != -values[n]:
                fail(f"{path}: D[{512 - n}] = {texts[512 - n]} is not -D[{n}] = {texts[n]}")
    if values[0] != 0.0:
        fail(f"{path}: D[0] must be 0")
    return texts


def negated(text):
    return text[1:] if text.startswith("-") else "-" + text


# ---------------------------------------------------------------------------------------------
# Huffman tables

# Tables that share codes: 17..23 use 16's codes, 25..31 use 24's.
CODE_OWNER = {n: 16 for n in range(17, 24)}
CODE_OWNER.update({n: 24 for n in range(25, 32)})
EMPTY_TABLES = {0, 4, 14}
# The largest value of each pair table (table size - 1); 0 for tables without codes.
PAIR_MAX = {0: 0, 1: 1, 2: 2, 3: 2, 4: 0, 5: 3, 6: 3, 7: 5, 8: 5, 9: 5, 10: 7, 11: 7, 12: 7, 13: 15,
            14: 0, 15: 15}
PAIR_MAX.update({n: 15 for n in range(16, 32)})


def check_prefix_code(name, codes):
    """codes: list of bit strings. A complete prefix code: Kraft sum 1 and no code a prefix of another."""
    kraft = sum(Fraction(1, 2 ** len(c)) for c in codes)
    if kraft != 1:
        fail(f"Huffman table {name}: Kraft sum {kraft} is not 1 (the code tree is not exactly filled)")
    ordered = sorted(codes)
    for a, b in zip(ordered, ordered[1:]):
        if b.startswith(a):
            fail(f"Huffman table {name}: code {a} is a prefix of {b}")


def read_huffman(folder):
    path = os.path.join(folder, "huffman.txt")
    tables = {}
    current = None
    for number, fields in data_lines(path):
        where = f"{path}:{number}"
        if fields[0] == "table":
            if len(fields) != 4 or fields[2] != "linbits":
                fail(f"{where}: expected 'table N linbits L'")
            name = fields[1]
            if name in tables:
                fail(f"{where}: table {name} given twice")
            current = {"linbits": to_int(fields[3], where), "codes": [], "line": number}
            tables[name] = current
            continue
        if current is None:
            fail(f"{where}: code line before the first table line")
        if any(ch not in "01" for ch in fields[-1]) or not fields[-1]:
            fail(f"{where}: '{fields[-1]}' is not a code word of 0 and 1")
        current["codes"].append(([to_int(v, where) for v in fields[:-1]], fields[-1]))

    pairs = {}
    for n in range(32):
        table = tables.get(str(n))
        if table is None:
            fail(f"{path}: Huffman table {n} missing")
        codes = table["codes"]
        if n in EMPTY_TABLES:
            if codes or table["linbits"]:
                fail(f"{path}: table {n} must be empty without linbits")
            pairs[n] = (table["linbits"], [])
            continue
        if (n < 16) != (table["linbits"] == 0):
            fail(f"{path}: table {n} has linbits {table['linbits']}; only tables 16..31 use linbits")
        size = PAIR_MAX[n] + 1
        seen = set()
        entries = []
        for values, bits in codes:
            if len(values) != 2:
                fail(f"{path}: table {n}: a pair line needs x y codeword")
            x, y = values
            if not (0 <= x < size and 0 <= y < size):
                fail(f"{path}: table {n}: pair ({x}, {y}) outside 0..{size - 1}")
            if (x, y) in seen:
                fail(f"{path}: table {n}: pair ({x}, {y}) given twice")
            if len(bits) > 19:
                fail(f"{path}: table {n}: code {bits} longer than 19 bits")
            seen.add((x, y))
            entries.append((x, y, bits))
        if len(seen) != size * size:
            fail(f"{path}: table {n}: {len(seen)} pairs, {size * size} expected")
        check_prefix_code(str(n), [bits for _, _, bits in entries])
        pairs[n] = (table["linbits"], entries)
    for n, owner in CODE_OWNER.items():
        if sorted(pairs[n][1]) != sorted(pairs[owner][1]):
            fail(f"{path}: table {n} must carry the same codes as table {owner}")

    quads = {}
    for name in ("A", "B"):
        table = tables.get(name)
        if table is None:
            fail(f"{path}: quadruple table {name} missing")
        entries = []
        for values, bits in table["codes"]:
            if len(values) != 4 or any(v not in (0, 1) for v in values):
                fail(f"{path}: quadruple table {name}: 'v w x y codeword' with 0/1 values expected")
            value = values[0] << 3 | values[1] << 2 | values[2] << 1 | values[3]
            entries.append((value, bits))
        if sorted(v for v, _ in entries) != list(range(16)):
            fail(f"{path}: quadruple table {name} must hold each of the 16 values once")
        check_prefix_code(name, [bits for _, bits in entries])
        quads[name] = entries
    # Table B is not stored: the decoder reads four bits and inverts them.
    for value, bits in quads["B"]:
        if bits != format(15 - value, "04b"):
            fail(f"{path}: quadruple table B code of {value:04b} is {bits}, the inverted value expected")
    return pairs, sorted(quads["A"])


# ---------------------------------------------------------------------------------------------
# Layer II allocation tables

ALLOC_ORDER = ("B.2a", "B.2b", "B.2c", "B.2d", "B.1")


def read_layer2_alloc(folder):
    path = os.path.join(folder, "layer2_alloc.txt")
    tables = {}
    current = None
    for number, fields in data_lines(path):
        where = f"{path}:{number}"
        if fields[0] == "table":
            if len(fields) != 4 or fields[2] != "subbands":
                fail(f"{where}: expected 'table NAME subbands N'")
            current = {"subbands": to_int(fields[3], where), "rows": []}
            if fields[1] in tables:
                fail(f"{where}: table {fields[1]} given twice")
            tables[fields[1]] = current
            continue
        if current is None:
            fail(f"{where}: subband line before the first table line")
        values = [to_int(v, where) for v in fields]
        if len(values) < 2:
            fail(f"{where}: 'sb NBAL classes...' expected")
        sb, nbal, classes = values[0], values[1], values[2:]
        if sb != len(current["rows"]):
            fail(f"{where}: subband {sb} out of order")
        if not 2 <= nbal <= 4:
            fail(f"{where}: allocation width {nbal} outside 2..4")
        if len(classes) != (1 << nbal) - 1:
            fail(f"{where}: {nbal} allocation bits need {(1 << nbal) - 1} classes, found {len(classes)}")
        if any(not 1 <= c <= 17 for c in classes):
            fail(f"{where}: quantisation classes must lie in 1..17")
        if any(b <= a for a, b in zip(classes, classes[1:])):
            fail(f"{where}: quantisation classes must increase with the allocation value")
        current["rows"].append((nbal, classes))
    result = []
    for name in ALLOC_ORDER:
        table = tables.get(name)
        if table is None:
            fail(f"{path}: allocation table {name} missing")
        if not 1 <= table["subbands"] <= 32 or len(table["rows"]) != table["subbands"]:
            fail(f"{path}: table {name} announces {table['subbands']} subbands, has {len(table['rows'])}")
        result.append((name, table))
    return result


# ---------------------------------------------------------------------------------------------
# Stored constants that have no table file: too short to be worth one.

# ISO/IEC 11172-3 Table B.6 (Layer III pre-emphasis), row 1; row 0 is the table without it.
PRETAB = [0] * 11 + [1, 1, 1, 1, 2, 2, 3, 3, 3, 2, 0]
# ISO/IEC 11172-3 Table B.9 (Layer III aliasing-butterfly coefficients c[i]).
ALIAS_C = ["-0.6", "-0.535", "-0.33", "-0.185", "-0.095", "-0.041", "-0.0142", "-0.0037"]


# ---------------------------------------------------------------------------------------------
# Output


def join_rows(items, per_line, indent="    "):
    lines = []
    for i in range(0, len(items), per_line):
        lines.append(indent + ", ".join(items[i:i + per_line]) + ",")
    return "\n".join(lines)


def float_literal(text):
    value = text if ("." in text or "e" in text.lower()) else text + ".0"
    return value + "f"


def generate(folder):
    bitrates, rates = read_frame_tables(folder)
    bands = read_sfb_bands(folder, rates)
    window = read_synth_window(folder)
    pairs, quad_a = read_huffman(folder)
    allocs = read_layer2_alloc(folder)

    out = []
    w = out.append
    w("// Generated by tools/gen_tables.py from the table files of ISO/IEC 11172-3 and ISO/IEC 13818-3.")
    w("// Do not edit: change the generator or its input and run it again.")
    w("")
    w('#include "standard_tables.h"')
    w('#include "layer3_tables.h"')
    w("")
    w("namespace tunelo {")
    w("")

    # Bit rates: [layer - 1][VersionId][index]; VersionId 1 = MPEG-1, 0 = MPEG-2 (and MPEG-2.5).
    w("// ISO/IEC 11172-3 2.4.2.3 (VersionId 1) and ISO/IEC 13818-3 2.4.2.3 (VersionId 0): bit rates in")
    w("// kbit/s by layer, VersionId and bit-rate index.")
    w("const int32_t kBitrateTable[3][2][16] = {")
    for layer in (1, 2, 3):
        w("    {")
        for version in ("MPEG-2", "MPEG-1"):
            w("        {" + ", ".join(str(v) for v in bitrates[(version, layer)]) + "},")
        w("    },")
    w("};")
    w("")

    w("// ISO/IEC 11172-3 2.4.2.3 (VersionId 1) and ISO/IEC 13818-3 2.4.2.3 (VersionId 0): sampling")
    w("// frequencies in units of 50 Hz; index 3 is reserved.")
    w("const int32_t kSamplingTable50[2][4] = {")
    for version in ("MPEG-2", "MPEG-1"):
        w("    {" + ", ".join(str(r // 50) for r in rates[version]) + ", -999},")
    w("};")
    w("")

    w("// ISO/IEC 11172-3 Table B.8 (MPEG-1), ISO/IEC 13818-3 Table B.2 (MPEG-2) and the MPEG-2.5")
    w("// extension: end line of each scale-factor band. Rows: MPEG-2, MPEG-1, MPEG-2.5.")
    for kind, name, count in (("long", "kSfbLongEnd", 22), ("short", "kSfbShortEnd", 13)):
        w(f"const int16_t {name}[3][3][{count}] = {{")
        for version in ("MPEG-2", "MPEG-1", "MPEG-2.5"):
            w("    {")
            for rate in rates[version]:
                ends = bands[(version, rate, kind)][1:]
                w(f"        {{{', '.join(str(v) for v in ends)}}}, // {rate} Hz")
            w("    },")
        w("};")
        w("")

    w("// ISO/IEC 11172-3 Table 3-B.3: the synthesis window D[i].")
    w("const double kSynthWindowD[512] = {")
    w(join_rows(window, 6))
    w("};")
    w("")

    w("// ISO/IEC 11172-3 Table 3-B.3 in evaluation order: block j (j = 0..15) holds D[j], D[j + 32], ...,")
    w("// D[j + 480]; the last eight are -D[48 + 64k], the coefficients of the middle output sample.")
    w("float SynthWindowTable[264] = {")
    for j in range(16):
        w(join_rows([float_literal(window[j + 32 * i]) for i in range(16)], 8) + f" // block {j}")
    w(join_rows([float_literal(negated(window[48 + 64 * k])) for k in range(8)], 8) + " // middle sample")
    w("};")
    w("")

    w("// ISO/IEC 11172-3 Table 3-B.7: the Layer III Huffman code tables, (x, y, length, code word).")
    w("namespace {")
    w("")
    for n in range(32):
        linbits, entries = pairs[n]
        if not entries or n in CODE_OWNER:
            continue
        w(f"// Table {n}" + (" (also 17..23)" if n == 16 else " (also 25..31)" if n == 24 else ""))
        w(f"const THuffmanCode kPairCodes{n}[{len(entries)}] = {{")
        items = [f"{{{x}, {y}, {len(bits)}, 0x{int(bits, 2):x}}}" for x, y, bits in entries]
        w(join_rows(items, 5))
        w("};")
        w("")
    w("} // namespace")
    w("")
    w("// ISO/IEC 11172-3 Table 3-B.7: pair tables 0..31 with their linbits.")
    w("const THuffmanSource kHuffmanPairTables[32] = {")
    for n in range(32):
        linbits, entries = pairs[n]
        if not entries:
            w(f"    {{nullptr, 0, {linbits}}}, // table {n}")
        else:
            owner = CODE_OWNER.get(n, n)
            w(f"    {{kPairCodes{owner}, {len(entries)}, {linbits}}}, // table {n}")
    w("};")
    w("")

    w("// ISO/IEC 11172-3 Table 3-B.7: quadruple table A (count1 table 0); X = v w x y.")
    w("const THuffmanCode kHuffmanQuadA[16] = {")
    w(join_rows([f"{{{value}, 0, {len(bits)}, 0x{int(bits, 2):x}}}" for value, bits in quad_a], 4))
    w("};")
    w("")

    w("// ISO/IEC 11172-3 Tables 3-B.2a..3-B.2d and ISO/IEC 13818-3 Table B.1: Layer II bit allocation,")
    w("// the allocation field width and the quantisation class of each allocation value per subband.")
    w("const TLayer2AllocTable kLayer2AllocTables[5] = {")
    for name, table in allocs:
        source = "ISO/IEC 13818-3" if name == "B.1" else "ISO/IEC 11172-3"
        w(f"    // {source} Table {name if name == 'B.1' else '3-' + name}")
        w("    {")
        w(f"        {table['subbands']},")
        w("        {" + ", ".join(str(nbal) for nbal, _ in table["rows"]) + "},")
        w("        {")
        for nbal, classes in table["rows"]:
            w("            {" + ", ".join(str(c) for c in [0] + classes) + "},")
        w("        },")
        w("    },")
    w("};")
    w("")

    w("// ISO/IEC 11172-3 Table B.6: Layer III pre-emphasis per long band; row 0 is without it.")
    w("const int32_t PretabTable[2][22] = {")
    w("    {" + ", ".join("0" for _ in PRETAB) + "},")
    w("    {" + ", ".join(str(v) for v in PRETAB) + "},")
    w("};")
    w("")

    w("// ISO/IEC 11172-3 Table B.9: the coefficients c[i] of the aliasing-reduction butterflies.")
    w("const float AliasCoefficients[8] = {" + ", ".join(float_literal(c) for c in ALIAS_C) + "};")
    w("")
    w("} // namespace tunelo")
    return "\n".join(out) + "\n"


def format_source(text, output):
    tool = shutil.which("clang-format")
    if tool is None:
        print("gen_tables: clang-format not found, output left unformatted", file=sys.stderr)
        return text
    result = subprocess.run([tool, "--style=file", f"--assume-filename={output}"], input=text,
                            capture_output=True, text=True, cwd=REPO, check=False)
    if result.returncode != 0:
        fail(f"clang-format failed: {result.stderr.strip()}")
    return result.stdout


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("tables", nargs="?", default=DEFAULT_TABLES, help="folder with the table files")
    parser.add_argument("--output", default=DEFAULT_OUTPUT, help="the C++ file to write")
    parser.add_argument("--no-format", action="store_true", help="do not run clang-format on the output")
    args = parser.parse_args()
    try:
        text = generate(args.tables)
        if not args.no_format:
            text = format_source(text, args.output)
    except (TableError, OSError) as error:
        print(f"gen_tables: {error}", file=sys.stderr)
        return 1
    os.makedirs(os.path.dirname(os.path.abspath(args.output)), exist_ok=True)
    with open(args.output, "w", encoding="utf-8") as f:
        f.write(text)
    print(f"gen_tables: wrote {args.output}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
