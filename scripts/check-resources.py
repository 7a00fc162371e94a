#!/usr/bin/env python3
"""Check the byte layout of the text resources built into Tidora.

Usage: check-resources.py [RESOURCES_DIR]
(default: the "resources" folder beside this script's folder)
"""
import os
import sys

BOM = b"\xef\xbb\xbf"

NAME_BLACK = [
    "AnySign4PC",
    "IPinside LWS Agent",
    "WIZVERA Process Manager",
    "우리은행 보안 로그 수집기",
    "iniLINE CrossEX Service",
    "INISAFE SandBox",
    "eISP",
    "TouchEn key with E2E for 32bit",
    "TouchEn nxKey with E2E for 32bit",
    "TouchEn nxFirewall32",
    "XecureWeb Control",
    "keysharpnxbiz (x86)",
    "MarkAny Inc. e-PageSafer",
    "KeySharp CertRelay",
    "스마트 모바일 사인",
    "Delfino G3 (x86)",
    "nProtect Online Security",
    "MagicLine4NP",
    "MAOnMultiWebSafer_STD",
    "Veraport(보안모듈 관리 프로그램) G3",
    "MarkAny WebDRM NoAX SVC",
    "IPinside Agent",
    "EasyKeytec (키보드 보안 프로그램)",
    "유니사인(UniSign) 한국전자인증 스마트폰 인증서 이동",
    "Delfino (x86) 버전",
    "AhnLab Safe Transaction",
    "AhnLab Online Security",
    "npEfdsWCtrl",
    "IssacWebSE",
    "nProtect Netizen",
    "MaDownloadRD(remove only)",
    "SignKorea NA Certification Toolkit(공인인증 프로그램)",
    "ContentSAFER",
    "AxSignGATE",
    "SoftCamp Secure KeyStroke",
    "CrossCertWeb",
    "MaWebSAFER_STDEP(remove only)",
]

LANGS = ["ko", "en", "ja", "zh", "ru", "it", "fr", "ar"]

errors = []


def fail(msg):
    errors.append(msg)


def read(folder, name):
    path = os.path.join(folder, name)
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError as e:
        fail("%s: cannot read (%s)" % (name, e))
        return None


def crlf_lines(name, data):
    """Lines of a list file: BOM, CR LF after every line, no trailing empty line."""
    if not data.startswith(BOM):
        fail("%s: no UTF-8 byte-order mark" % name)
        return []
    body = data[len(BOM):]
    if not body.endswith(b"\r\n"):
        fail("%s: last line not ended by CR LF" % name)
    if body.endswith(b"\r\n\r\n"):
        fail("%s: trailing empty line" % name)
    parts = body.split(b"\r\n")[:-1]
    for i, p in enumerate(parts, 1):
        if b"\r" in p or b"\n" in p:
            fail("%s: line %d has a lone CR or LF" % (name, i))
    try:
        return [p.decode("utf-8") for p in parts]
    except UnicodeDecodeError as e:
        fail("%s: not UTF-8 (%s)" % (name, e))
        return []


def check_size(name, data, size):
    if len(data) != size:
        fail("%s: %d bytes, expected %d" % (name, len(data), size))


def check_count(name, lines, count):
    if len(lines) != count:
        fail("%s: %d lines, expected %d" % (name, len(lines), count))


def check_no_dups(name, lines):
    seen = set()
    for l in lines:
        if l and l.lower() in seen:
            fail("%s: duplicate entry %r" % (name, l))
        seen.add(l.lower())


def check_name_black(folder):
    name = "name_black.txt"
    data = read(folder, name)
    if data is None:
        return
    lines = crlf_lines(name, data)
    check_size(name, data, 935)
    check_count(name, lines, 37)
    if lines != NAME_BLACK:
        for i, (got, want) in enumerate(zip(lines, NAME_BLACK), 1):
            if got != want:
                fail("%s: line %d is %r, expected %r" % (name, i, got, want))
                break


def check_file_white(folder):
    name = "file_white.txt"
    data = read(folder, name)
    if data is None:
        return
    lines = crlf_lines(name, data)
    check_size(name, data, 6956)
    check_count(name, lines, 264)
    check_no_dups(name, lines)
    for i, l in enumerate(lines, 1):
        if not l.strip() or l.strip().startswith("//") or l != l.strip():
            fail("%s: line %d is empty, a comment or padded" % (name, i))
    files, rest = lines[:197], lines[197:]
    for i, l in enumerate(files, 1):
        if not l.endswith("*"):
            fail("%s: line %d should end in '*'" % (name, i))
    sections = [("%ProgramFiles%\\", 19), ("%ProgramFiles(x86)%\\", 19),
                ("%SystemRoot%\\", 29)]
    pos = 0
    for prefix, count in sections:
        part = rest[pos:pos + count]
        bad = [l for l in part if not l.startswith(prefix) or l.endswith("*")]
        if len(part) != count or bad:
            fail("%s: expected %d path lines beginning %s" % (name, count, prefix))
        pos += count


def check_name_white(folder):
    name = "name_white.txt"
    data = read(folder, name)
    if data is None:
        return
    lines = crlf_lines(name, data)
    check_size(name, data, 1027)
    check_count(name, lines, 84)
    check_no_dups(name, lines)
    empty = [i for i, l in enumerate(lines, 1) if not l.strip()]
    if empty != [11]:
        fail("%s: the only empty line should be line 11, found %s" % (name, empty))


def check_translate(folder):
    name = "translate.txt"
    data = read(folder, name)
    if data is None:
        return
    if not data.startswith(BOM):
        fail("%s: no UTF-8 byte-order mark" % name)
        return
    try:
        text = data[len(BOM):].decode("utf-8")
    except UnicodeDecodeError as e:
        fail("%s: not UTF-8 (%s)" % (name, e))
        return
    # Split into blocks and record the separators between them.
    lines = text.replace("\r\n", "\n").split("\n")
    if lines[-2:] != ["", ""] or lines[-3] == "":
        fail("%s: should end with one empty line" % name)
    blocks, gaps, cur, gap = [], [], [], 0
    for l in lines:
        if l:
            if cur == [] and blocks:
                gaps.append(gap)
            cur.append(l)
            gap = 0
        else:
            if cur:
                blocks.append(cur)
                cur = []
            gap += 1
    if cur:
        blocks.append(cur)
    if len(blocks) != 29:
        fail("%s: %d blocks, expected 29" % (name, len(blocks)))
        return
    want_gaps = [1] * 28
    want_gaps[15] = 2
    if gaps != want_gaps:
        fail("%s: empty lines between blocks are %s" % (name, gaps))
    for n, block in enumerate(blocks, 1):
        codes = [l.split("=", 1)[0] for l in block]
        want = LANGS if n < 29 else LANGS[:-1]
        if codes != want or any("=" not in l for l in block):
            fail("%s: block %d has lines %s" % (name, n, codes))
    # Line breaks: CR LF up to the two empty lines after block 16, LF after.
    cut = text.find("\r\n\r\n\r\n")
    if cut < 0:
        fail("%s: no CR LF double empty line after block 16" % name)
        return
    head, tail = text[:cut + 6], text[cut + 6:]
    bare = head.replace("\r\n", "")
    if "\r" in bare or "\n" in bare:
        fail("%s: blocks 1-16 should use CR LF only" % name)
    if "\r" in tail:
        fail("%s: blocks 17-29 should use LF only" % name)


def main():
    if len(sys.argv) > 1:
        folder = sys.argv[1]
    else:
        here = os.path.dirname(os.path.abspath(__file__))
        folder = os.path.join(os.path.dirname(here), "resources")
    check_name_black(folder)
    check_file_white(folder)
    check_name_white(folder)
    check_translate(folder)
    if errors:
        for e in errors:
            print("error: " + e, file=sys.stderr)
        return 1
    print("resources OK: " + folder)
    return 0


if __name__ == "__main__":
    sys.exit(main())
