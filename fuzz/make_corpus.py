#!/usr/bin/env python3
"""Writes the seed corpora under fuzz/corpus/<target>/ from the examples/
files and cases of the record tests, in the input layout of each target
(the leading bytes that choose the items, then the file)."""
import os
import struct
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CORPUS = os.path.join(ROOT, "fuzz", "corpus")
TEXT_LENGTHS = [1, 2, 8, 16, 20, 60, 128, 200]


def example(name, limit=None):
    with open(os.path.join(ROOT, "examples", name), "rb") as f:
        data = f.read()
    return data[:limit] if limit else data


def write(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# ---- free_form: statements, then per statement: item count, split, items.
def item_byte(kind):
    if kind == "i":
        return 0
    if kind == "d":
        return 1
    length = int(kind[1:])
    for b in range(256):
        if b % 3 != 2:
            continue
        if length in TEXT_LENGTHS and (b & 4) and TEXT_LENGTHS[(b >> 3) & 7] == length:
            return b
        if length not in TEXT_LENGTHS and not (b & 4) and 1 + (b >> 3) == length:
            return b
    raise ValueError(kind)


def free_form(statements, content):
    out = bytes([len(statements) - 1])
    for kinds in statements:
        out += bytes([len(kinds), len(kinds) // 2]) + bytes(item_byte(k) for k in kinds)
    return out + content


def seeds_free_form():
    dis = example("basin.dis")
    write("free_form", "dis-head", free_form([["i"] * 6, ["d"], ["t16", "d"], ["t16", "d"]], dis))
    lines = dis.split(b"\n")
    periods = b"\n".join(lines[4:12]) + b"\n"
    row = ["d", "i", "d", "t2", "t8"]
    write("free_form", "dis-periods", free_form([[], [], row, row], periods))
    csv = example("basin.grid.csv").split(b"\n")
    attrs = b"\n".join(csv[1:6]) + b"\n"
    rec = ["i"] * 8 + ["t2"]
    write("free_form", "grid-attributes", free_form([rec, rec, rec, rec], attrs))
    cases = [
        (["i", "i"], b"1990 2000\nN\n"), (["i", "i"], b"  1990\t2000  \r\nN\r\n"),
        (["i", "i"], b"1990 /\nN\n"), (["i", "i"], b"-2147483648 +2147483647\nN\n"),
        (["i"], b"2147483648\n"), (["i"], b"+ 5\n"), (["i", "i"], b"5 +"),
        (["d", "d"], b"1.5d3 2.5q-1\nN\n"), (["d", "d"], b"1.5-3 2+4\nN\n"), (["d", "d"], b".5 5.\nN\n"),
        (["d", "d"], b"-0 -.0e5\nN\n"), (["d", "d"], b"1E400 -1e400\nN\n"),
        (["d", "d", "d"], b"4.9e-324 2.4703282292062328e-324 2.4703282292062327e-324\n"),
        (["d"], b"9007199254740993." + b"0" * 900 + b"1\n"),
        (["d", "d", "d", "d"], b"INF -Infinity +inf nan\n"), (["d", "d"], b"-NaN(0x1f) NAN()\n"),
        (["d"], b"NAN(abc"), (["d"], b"+.e-3\n"), (["d"], b"1.5E"),
        (["t16", "d"], b"'DELR ROW' 1.5\nN\n"), (["t1"], b"3*y\nN\n"), (["t1"], b"'abc\nxyz'\nN\n"),
        (["t8"], b"01/1990\nN\n"), (["i", "i", "i", "i"], b"2*5 ,, 7\n"), (["i", "i", "i"], b"3*\n"),
        (["i", "d"], b"2*5\n"), (["t2", "t8", "t2"], b"3*'ab''c' x\n"), (["i", "i"], b";\n;5\n"),
        (["i", "i", "i"], b"1,\n,2\n3\n"), (["i"], b"0*1\n"), (["i"], b"999999999*1\n"),
        (["i", "i"], b"1\r2\n"), (["t20"], b"'a\r\nb\"c' !x\n"),
    ]
    for n, (kinds, content) in enumerate(cases):
        write("free_form", "case-%02d" % n, free_form([kinds, kinds], content))


# ---- whole_line: count, field lengths (0 then two bytes for a long one).
def whole_line(lengths, content):
    out = bytes([len(lengths) - 1])
    for n in lengths:
        out += bytes([n]) if 0 < n < 256 else bytes([0]) + struct.pack("<H", n - 1)
    return out + content


def seeds_whole_line():
    for name in ["month-to-binary.answers", "steady-to-binary.answers",
                 "month-to-table-attributes.answers", "month-to-table-ibound.answers"]:
        write("whole_line", name, whole_line([128, 200, 20, 1], example(name)))
    write("whole_line", "grid-header", whole_line([60], example("basin.grid.csv", 2000)))
    write("whole_line", "ibound-lines", whole_line([200, 90, 8], example("basin.ibound")))
    write("whole_line", "long-line", whole_line([9000, 20], b"x" * 9100 + b"\r\nnext\n"))
    cases = [b"", b"\n", b"\r\n", b"abc", b"a\rb\n", b"abc\r\r\ndef\n", b"\x1a\x00\xff\n", b"12345\r",
             b"  ,'\"/ \t\n"]
    for n, content in enumerate(cases):
        write("whole_line", "case-%02d" % n, whole_line([1, 3, 5, 20], content))


# ---- format_read: ncols - 1, nrows - 1, 20 bytes of format, the file.
def format_read(fmt, ncols, nrows, content):
    text = fmt.encode().ljust(20)[:20]
    return bytes([ncols - 1, nrows - 1]) + text + content


def seeds_format_read():
    write("format_read", "basin-ibound", format_read("(30I3)", 30, 4, example("basin.ibound")))
    def values(first, n, width):
        return "".join(str(v).rjust(width) for v in range(first, first + n))
    cols4 = "  1  0 -1  1\n  0  1  1  0\n -1  0  0  1\n"
    cases = [
        ("(4I3)", cols4, 4, 3), (" (4i3)", "  1  2  3  4\r\n  5  6  7  8\r\n", 4, 2),
        ("(20I2)", values(1, 20, 2) + "\n" + values(21, 5, 2) + "\n", 25, 1),
        ("(10I4)", "   1   2   3\n\n      \r\n", 10, 3), ("(4I3)", " 10 200 3000\n1 2 3 4\n", 4, 2),
        ("(4I1)", "1,2,3,4\n", 4, 1), ("(DC,4I3)", "1,2,3,4\n", 4, 1),
        ("(I2,3(1X,I3))", " 1  2   3   4\n  5   6   7\n  8   9  10\n", 10, 1),
        ("(*(I3))", values(1, 30, 3) + "\n", 30, 1), ("(*(I3,(1X)))", "  1   2   3\n", 3, 1),
        ("(/4I3)", "skip\n  1  2  3  4\n", 4, 1), ("(4I3/)", "  1  2  3  4\nskipped\n", 4, 2),
        ("(I4)", "  1\r  2\n", 2, 1), ("(4I3,$)", values(1, 8, 3) + "\n" + values(9, 4, 3) + "\n", 4, 4),
        ("($,4I3)", values(1, 4, 3) + "\n" + values(5, 4, 3) + "\n", 4, 2), ("(I3,TL2,$)", "123456\n", 1, 2),
        ("(T5,I3,T1,I3)", "  7 42\n", 2, 1), ("(I2,T9,I3,T5,I2)", "12345\n", 3, 1),
        ("(I3,BZ,I3)", " 1  1 \n 1  1 \n", 2, 2), ("(4I3,:,'x')", values(1, 8, 3) + "\n", 4, 2),
        ("(4294967297I3)", "  1  2  3\n", 3, 1), ("(I2,T99999999999,I3)", "12345\n", 2, 1),
        ("(99999999(T1,1X),I3)", "x123\n", 1, 1), ("(9999999999999(),I3)", "  5\n", 1, 1),
        ("(I11)", "2147483647\n-2147483648\n", 1, 2), ("(4L1)", "TFtf\n    \n", 4, 2),
        ("(2Z8,B3,O3)", "FFFFFFFF-7fffffff101777\n", 4, 1), ("(A4,A,A1)", "ABCD12345\n", 3, 1),
        ("(4F5.0)", "1.0\n", 4, 1), ("(I3,'x')", "  1\n", 1, 1), ("(I3,())", "  1\n", 2, 1),
        ("(1X)", "  1\n", 1, 1), ("(3HABC,I2)", "12\n", 1, 1), ("(SP,3P,RU,G5.2E3)", "  12\n", 1, 1),
        ("(4I3", "  1\n", 1, 1), ("(I3,2(I2,3(I1)))", "123456789012\n" * 3, 9, 2),
    ]
    for n, (fmt, content, ncols, nrows) in enumerate(cases):
        write("format_read", "case-%02d" % n, format_read(fmt, ncols, nrows, content.encode()))


# ---- binary_record: flags (swap, records), per record: count, items.
def binary_item(width, count=1):
    index = {1: 0, 4: 1, 8: 2}[width]
    for b in range(256):
        if b % 3 != index:
            continue
        if count == 1 and not (b & 4):
            return bytes([b])
        if (b & 4) and count > 1:
            rest = count - 1
            if rest >> 5 == b >> 3:
                return bytes([b, rest & 31])
    raise ValueError((width, count))


def binary_record(records, content, swap=False):
    out = bytes([(len(records) - 1) << 1 | int(swap)])
    for items in records:
        out += bytes([len(items)]) + b"".join(binary_item(*it) for it in items)
    return out + content


def marker(n):
    return struct.pack("<i", n)


def record(payload):
    return marker(len(payload)) + payload + marker(len(payload))


def seeds_binary_record():
    header = [(4,), (4,), (8,), (8,), (1, 16), (4,), (4,), (4,)]
    heads = [(8, 600)]
    hds = example("basin.hds")
    write("binary_record", "basin-pair", binary_record([header, heads, header, [(8, 30)]], hds[:6000]))
    write("binary_record", "basin-swapped", binary_record([header, [(8, 100), (4, 3)]], hds[:2000], True))
    values = b"".join(struct.pack("<d", v + 0.5) for v in range(13))
    h = struct.pack("<iidd", 1, 2, 0.5, 30.0) + b"            HEAD" + struct.pack("<iii", 3, 2, 1)
    s = record(struct.pack("<i", 99))
    cases = [
        ([header, [(4,)]], record(h) + s), ([header], record(h)), ([header, [(4,)]], record(h + b"12345678") + s),
        ([header], record(h[:44]) + s), ([[(8, 8)], [(4,)]], record(values) + s),
        ([[(8, 8)]], record(values[:56]) + s),
        ([[(8, 4)], [(4,)]], marker(-10) + values[:10] + marker(10) + marker(-10) + values[10:20] + marker(-10)
         + marker(4) + values[20:24] + marker(-4) + s),
        ([[(8, 4)]], marker(-12) + values[:12] + marker(12)), ([[(4,)]], marker(-2147483648) + b"abcd"),
        ([[(4,)]], marker(2147483647) + b"abcd"), ([[(4,)]], b"\x01\x00"), ([[], [(4,)]], s + s),
        ([[(1, 5)]], record(b"ab")), ([[(4, 3), (1, 2), (8,)]], record(b"x" * 22) + s),
    ]
    for n, (records, content) in enumerate(cases):
        write("binary_record", "case-%02d" % n, binary_record(records, content))


# ---- double_field: doubles, 8 bytes each.
def seeds_double_field():
    import math
    groups = {
        "zeros": [0.0, -0.0, 5e-324, -5e-324, 2.2250738585072014e-308, 2.225073858507201e-308],
        "decades": [10.0 ** k for k in range(-20, 23)],
        "field-bounds": [0.1, 0.09999999999999999, 1e16, 9999999999999998.0, 1e17, 99999999999999984.0,
                         0.99999999999999999, 1.0, -0.5, 123456789.125e-9],
        "extremes": [1.7976931348623157e308, -1.7976931348623157e308, 4.9e-324, 1e-300, 1e300, math.pi,
                     9007199254740993.0, 2.0 ** 53 + 2, 1.0 / 3.0, -2.0 / 3.0],
        "heads": [30.0, 123.456, -7.25, 1e-30, 99.99999999999999],
    }
    for name, values in groups.items():
        write("double_field", name, b"".join(struct.pack("<d", v) for v in values))


def main():
    for f in [seeds_free_form, seeds_whole_line, seeds_format_read, seeds_binary_record, seeds_double_field]:
        f()
    return 0


if __name__ == "__main__":
    sys.exit(main())
