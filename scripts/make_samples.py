#!/usr/bin/env python3
"""Writes docs/Samples.oen, the sample entries that ship beside the program.

Run it again after changing the table. scripts/fuzz_seeds.py borrows
header(), record() and FONT for its seed files.
"""
import pathlib
import struct

MAGIC = b"Ombrelane Entries"
RECORD_SIZE = 656

MAIL, STATUS, GROUP_1, GROUP_2, GROUP_3 = 0x08000000, 0x04000000, 0x02000000, 0x01000000, 0x00800000
ADD_TIME, RECYCLE_OUTPUT = 0x00000080, 0x00000100
HOURS = 1


def rgb(red, green, blue):
    return red | green << 8 | blue << 16


TEAL, BRICK, FOREST, PLUM = rgb(0, 96, 96), rgb(128, 48, 32), rgb(32, 96, 32), rgb(96, 32, 112)

# Description, address, group, colour: public finger services.
SAMPLES = [
    ("Weather in Oslo", "oslo@graph.no", STATUS, TEAL),
    ("Weather in London", "london@graph.no", STATUS, TEAL),
    ("Weather in New York", "new_york@graph.no", STATUS, TEAL),
    ("Weather service help", "help@graph.no", GROUP_3, BRICK),
    ("Telehack", "@telehack.com", GROUP_2, FOREST),
    ("SDF Public Access UNIX", "@sdf.org", GROUP_2, FOREST),
    ("tilde.team", "@tilde.team", GROUP_2, FOREST),
    ("Happy Net Box plans", "@happynetbox.com", GROUP_1, PLUM),
]


def header(count):
    return MAGIC + struct.pack("<Ii", RECORD_SIZE, count)


def text(value, width):
    data = value.encode("ascii")
    assert len(data) < width, value
    return data.ljust(width, b"\0")


# A LOGFONTA: height, width, escapement, orientation, weight; italic, underline,
# strike-out, character set, precisions, quality, pitch and family; face name.
FONT = struct.pack("<5i8B", -13, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0x31) + b"Courier New".ljust(32, b"\0")


def record(description, address, monitor_number, flags, colour):
    image = (text(description, 128) + text(address, 128) + text("%08d.htm" % monitor_number, 16)
             # flags, period, interval, fingerCount, lastFingered, reserved, nextFinger, reserved, colour, points
             + struct.pack("<4Ii3I2I", flags, HOURS, 1, 0, 0, 0, 0, 0, colour, 100)
             + FONT
             # notifyWindow, changed, outputStart, outputEnd
             + struct.pack("<4I", 0, 0, 0, 0)
             + text("", 260)
             # iconIndex, link
             + struct.pack("<2I", 0, 0))
    assert len(image) == RECORD_SIZE
    return image


def main():
    records = [record(description, address, number, group | ADD_TIME | RECYCLE_OUTPUT, colour)
               for number, (description, address, group, colour) in enumerate(SAMPLES)]
    path = pathlib.Path(__file__).resolve().parent.parent / "docs" / "Samples.oen"
    path.write_bytes(header(len(records)) + b"".join(records))


if __name__ == "__main__":
    main()
