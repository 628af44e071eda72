#!/usr/bin/env python3
"""Writes the dialogs' text table (the NLSDATA resource) from the UTF-8 sources.

usage: make_text_table.py TEXT_DIR OUTPUT

TEXT_DIR holds one file per language, <code>.txt, in UTF-8: lines "<number> <text>",
blank lines and lines starting with "#" ignored. A text may use the table's escapes
\\n, \\r and \\t. The output has the sections in their fixed order, each stored in its
language's ANSI code page: a header line "[code]", the entries in ascending order and a
separator line; every line ends with a NUL before its CR LF.

Fails (exit status 1, one message per fault) when an entry is missing, doubled or
malformed, or a text cannot be stored in its code page.
"""
import os
import re
import sys

# (code, ANSI code page), in the order the table stores them. English comes first and
# holds every entry; the others hold the entries that the dialogs translate.
SECTIONS = [
    ("enu", 1252), ("trk", 1254), ("tha", 874), ("sve", 1252), ("slv", 1250),
    ("sky", 1250), ("rus", 1251), ("ptg", 1252), ("ptb", 1252), ("plk", 1250),
    ("nor", 1252), ("nld", 1252), ("kor", 949), ("jpn", 932), ("ita", 1252),
    ("hun", 1250), ("fra", 1252), ("fin", 1252), ("esp", 1252), ("esl", 1252),
    ("ell", 1253), ("deu", 1252), ("dan", 1252), ("csy", 1250), ("cht", 950),
    ("chs", 936),
]
ENGLISH_ENTRIES = list(range(1, 30))
# Entries 18 to 21 (the delimiter note and the file-name layouts) stay English.
TRANSLATED_ENTRIES = list(range(1, 18)) + list(range(22, 30))
# The table's own file name, the same in every section.
FILE_NAME_ENTRY = 22
FILE_NAME = "TunebayNlsData.txt"

LINE_END = b"\0\r\n"
ESCAPES = {"n": "\n", "r": "\r", "t": "\t"}


def unescape_text(text):
    """The text as the loader stores it: escapes turned into their characters."""
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text) and text[i + 1] in ESCAPES:
            out.append(ESCAPES[text[i + 1]])
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def unescape_bytes(data):
    """What the loader makes of an encoded text: the same rule on bytes."""
    out, i = bytearray(), 0
    while i < len(data):
        if data[i] == 0x5C and i + 1 < len(data) and chr(data[i + 1]) in ESCAPES:
            out += ESCAPES[chr(data[i + 1])].encode("ascii")
            i += 2
        else:
            out.append(data[i])
            i += 1
    return bytes(out)


def read_source(path, errors):
    """The entries of one source file as {number: (line number, text)}."""
    entries = {}
    with open(path, encoding="utf-8") as f:
        for line_number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            where = f"{path}:{line_number}"
            if not line.strip() or line.startswith("#"):
                continue
            match = re.fullmatch(r"([0-9]+) (.*)", line)
            if not match or not match.group(2):
                errors.append(f"{where}: expected '<number> <text>'")
                continue
            number, text = int(match.group(1)), match.group(2)
            bad = [c for c in text if ord(c) < 0x20 or ord(c) == 0x7F]
            if bad:
                errors.append(f"{where}: control character U+{ord(bad[0]):04X} in the text "
                              "(a tab or line break ends a line of the table; use \\t or \\n)")
            if number in entries:
                errors.append(f"{where}: entry {number} given twice")
            entries[number] = (line_number, text)
    return entries


def encode_section(code, code_page, entries, path, errors):
    encoding = f"cp{code_page}"
    out = bytearray(f"[{code}]".encode("ascii") + LINE_END)
    for number in sorted(entries):
        line_number, text = entries[number]
        where = f"{path}:{line_number}"
        try:
            encoded = text.encode(encoding)
        except UnicodeEncodeError as e:
            c = e.object[e.start]
            errors.append(f"{where}: entry {number}: character '{c}' (U+{ord(c):04X}) "
                          f"cannot be stored in code page {code_page}")
            continue
        # In a double-byte code page the second byte of a character can be a backslash;
        # followed by n, r or t it would read as an escape.
        if unescape_bytes(encoded) != unescape_text(text).encode(encoding):
            errors.append(f"{where}: entry {number}: in code page {code_page} a character "
                          "ends in a backslash that the loader would read as an escape")
            continue
        out += str(number).encode("ascii") + b" " + encoded + LINE_END
    out += LINE_END  # the separator line: a NUL alone
    return bytes(out)


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    text_dir, output = argv[1], argv[2]
    errors = []
    known = {code for code, _ in SECTIONS}
    for name in sorted(os.listdir(text_dir)):
        if name.endswith(".txt") and name[:-4] not in known:
            errors.append(f"{os.path.join(text_dir, name)}: no section '{name[:-4]}' in the table")

    table = bytearray()
    for code, code_page in SECTIONS:
        path = os.path.join(text_dir, f"{code}.txt")
        if not os.path.isfile(path):
            errors.append(f"{path}: missing")
            continue
        entries = read_source(path, errors)
        wanted = ENGLISH_ENTRIES if code == "enu" else TRANSLATED_ENTRIES
        missing = sorted(set(wanted) - set(entries))
        extra = sorted(set(entries) - set(wanted))
        if missing:
            errors.append(f"{path}: entries missing: {', '.join(map(str, missing))}")
        if extra:
            errors.append(f"{path}: entries not in this section: {', '.join(map(str, extra))}")
        if entries.get(FILE_NAME_ENTRY, (0, FILE_NAME))[1] != FILE_NAME:
            errors.append(f"{path}: entry {FILE_NAME_ENTRY} must be {FILE_NAME}")
        table += encode_section(code, code_page, entries, path, errors)

    if errors:
        for error in errors:
            print(f"error: {error}", file=sys.stderr)
        print("error: the text table was not written", file=sys.stderr)
        return 1
    os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
    with open(output, "wb") as f:
        f.write(table)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
