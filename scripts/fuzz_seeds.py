#!/usr/bin/env python3
"""Writes the seed corpus of one fuzz target: good inputs and bad ones near them.

    fuzz_seeds.py TARGET FOLDER

Each target's seeds follow the input layout its harness in tests/fuzz states.
"""
import pathlib
import struct
import sys

from make_samples import FONT, header, record

ROOT = pathlib.Path(__file__).resolve().parent.parent


def entries_file():
    def entry(number):
        return record("Entry %d" % number, "user%d@127.0.0.1" % number, number, 0x10000280, 0x00336699)

    good = [header(n) + b"".join(entry(i) for i in range(n)) for n in (0, 1, 3)]
    unterminated = bytearray(good[1])
    unterminated[25:25 + 128] = b"x" * 128
    return {
        "samples.oen": (ROOT / "docs" / "Samples.oen").read_bytes(),
        "empty": b"",
        "good-0": good[0], "good-1": good[1], "good-3": good[2],
        "wrong-magic": b"Ombrelane Entrief" + good[1][17:],
        "wrong-length": good[1][:17] + struct.pack("<I", 660) + good[1][21:],
        "short-header": good[1][:23],
        "lying-count": header(4) + entry(0) + entry(1),
        "negative-count": header(-1) + entry(0),
        "trailing-bytes": good[1] + b"\0\0\0\0",
        "unterminated-description": bytes(unterminated),
    }


def stored_values():
    # A text field's size, a stored button count, a number, then the value.
    def value(width, buttons, number, data):
        return struct.pack("<HiI", width - 1, buttons, number) + data

    ids = struct.pack("<3i", 40001, -1, 40017)
    return {
        "word": value(4, 3, 16383, struct.pack("<I", 1048576)),
        "short-word": value(4, 3, 0xFFFFFFFF, b"\x01\x02"),
        "rect": value(16, -1, 10, struct.pack("<4i", -8, 20, 1030, 790)),
        "font": value(60, 0, 39, FONT),
        "font-without-face": value(60, 0, 40, FONT[:28] + b"\0" * 32),
        "font-unterminated-face": value(60, 0, 40, FONT[:28] + b"F" * 32),
        "text": value(260, 0, 1, b"C:\\log.txt\0"),
        "text-without-nul": value(260, 0, 1, b"C:\\log.txt"),
        "text-filling-its-field": value(260, 0, 1, b"b" * 260),
        "text-ending-at-its-field": value(128, 0, 1, b"w" * 127 + b"\0"),
        "monitor-name": value(16, 0, 2, b"00000042.htm\0"),
        "toolbar": value(128, 3, 2, ids),
        "toolbar-longer-than-its-count": value(128, 2, 3, ids),
        "toolbar-full": value(128, 200, 2, ids * 42 + ids[:8]),
        "toolbar-part-of-an-id": value(128, 3, 2, ids[:10]),
        "description": value(128, 0, 2, b"Home\0home (2)\0"),
        "description-backslash": value(128, 0, 1, b"work\\server\0"),
        "description-empty": value(128, 0, 1, b"\0(No Description)"),
        "description-renamed-key": value(128, 0, 3, b"Original\0Renamed by hand"),
        "description-long": value(128, 0, 2, b"q" * 127 + b"\0" + b"q" * 123 + b" (2)"),
    }


def switch_words():
    lines = [
        "", "mail", "MAIL status Group1 group2 group3 ExitWhenIdle", "   status     group3  ",
        "mail\tstatus bogus", "/mail", "-status", "mail mail", "mail " + "w" * 255,
        "mail" + "x" * 296 + " status", "exitwhenidle group4",
    ]
    return {"line-%d" % i: line.encode("latin-1") for i, line in enumerate(lines)}


def monitor_names():
    names = [
        b"00000042.htm", b"00000042.HTM", b"99999999.hTm", b"0000004a.htm", b"100000000.htm", b"00000042.html",
        b"Alice.txt", b"", b".", b"..", b"a\\b", b"c:x", b"../up", b"x" * 16, b"\xff" * 4,
    ]
    return {"name-%d" % i: name for i, name in enumerate(names)}


def whois_referral():
    answers = [
        b"domain: COM\r\nrefer: whois.verisign-grs.com\r\n", b"whois: whois.nic.example\n",
        b"ReferralServer: whois://whois.ripe.net:4343\n", b"ReferralServer: rwhois://rwhois.example.net:4321/\n",
        b"   Registrar WHOIS Server: whois.markmonitor.com\r\n", b"Registrar WHOIS Server: http://x.example/\r\n",
        b"refer: -bad-.example", b"refer: host:99999", b"refer:", b"refer: " + b"a" * 300, b"\0refer: \0x\n",
    ]
    return {"answer-%d" % i: answer for i, answer in enumerate(answers)}


TARGETS = {
    "fuzz_entries_file": entries_file,
    "fuzz_stored_values": stored_values,
    "fuzz_switch_words": switch_words,
    "fuzz_monitor_names": monitor_names,
    "fuzz_whois_referral": whois_referral,
}

if __name__ == "__main__":
    target, folder = sys.argv[1], pathlib.Path(sys.argv[2])
    for name, data in TARGETS[target]().items():
        (folder / name).write_bytes(data)
