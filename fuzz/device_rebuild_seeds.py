#!/usr/bin/env python3
"""Writes the seed inputs of device_rebuild_fuzz into corpus/device_rebuild/seeds.

Layout of an input: 44-byte settings block, 512-byte factory key map, four
512-byte key maps, then the keyboard's macro memory from its start.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "device_rebuild", "seeds")


def settings(profile=0, units=64):
    s = bytearray(44)
    s[10] = profile
    s[11] = units
    return bytes(s)


def factory():
    m = bytearray(512)
    records = [(2, 2, 0x04 + i) for i in range(26)]          # letters
    records += [(2, 1, 1 << b) for b in range(8)]           # modifiers
    records += [(6, 0xA2, n) for n in range(1, 19)]         # G keys
    records += [(1, 1, 1), (1, 1, 2), (1, 5, 0xFF), (3, 0xE2, 0), (4, 0x81, 0)]
    for i, r in enumerate(records):
        m[3 * i:3 * i + 3] = bytes(r)
    for i in range(384, 512):
        m[i] = i & 0xFF
    return bytes(m)


def keymap(fac, changes):
    m = bytearray(fac)
    for pos, rec in changes.items():
        m[3 * pos:3 * pos + 3] = bytes(rec)
    return bytes(m)


def event(delay_ms, rtype, b1, b2, press):
    word = min(delay_ms // 10, 0xFFF) | (rtype & 7) << 12 | (0x8000 if press else 0)
    return struct.pack("<HBB", word, b1, b2)


def area(macros, names=True):
    n = len(macros)
    blocks = []
    for events, repeat, name in macros:
        nm = name if names else ""
        b = struct.pack("<HBB", len(events), repeat, len(nm)) + b"".join(events)
        if names:
            b += nm.encode("utf-16-le")
        blocks.append(b)
    offsets = []
    at = 16 + 2 * n
    for b in blocks:
        offsets.append(at)
        at += len(b)
    head = struct.pack("<HHHH", 0x55AA, at, n, 1 if names else 0) + bytes(8)
    return head + b"".join(struct.pack("<H", o) for o in offsets) + b"".join(blocks)


def write(name, data):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


def main():
    os.makedirs(OUT, exist_ok=True)
    fac = factory()
    plain = fac * 4
    changed = b"".join(
        keymap(fac, {0: (5, 1, p), 1: (5, 2, 0), 2: (5, 5, 9), 3: (3, 0xCD, 0), 4: (0, 0, 0),
                     5: (1, 1, 4), 6: (2, 1, 0x20), 7: (2, 2, 0xCD), 26: (7, 7, 7),
                     40: (5, 1, 0xFF)})
        for p in range(4))
    two = [([event(100, 2, 2, 4, True), event(0, 2, 2, 4, False)], 3, "ab"),
           ([event(40000, 1, 1, 1, True), event(10, 4, 0x81, 0, False)], 255, "mouse")]
    write("empty", b"")
    write("no_macros", settings() + fac + plain + bytes(16))
    write("assigned_no_macros", settings(2) + fac + changed + bytes(16))
    write("two_macros_named", settings(1) + fac + changed + area(two))
    write("two_macros_nameless", settings(3) + fac + changed + area(two, names=False))
    write("profile_unknown", settings(9) + fac + changed + area(two))
    bad = bytearray(area(two))
    bad[16:18] = struct.pack("<H", 0xFFFF)
    write("offset_past_area", settings() + fac + plain + bytes(bad))
    write("count_101", settings() + fac + plain + struct.pack("<HHHH", 0x55AA, 16 + 202, 101, 0)
          + bytes(8 + 202))
    write("length_past_space", settings(0, 1) + fac + plain + area(two * 10))
    bad = bytearray(area(two))
    bad[18:20] = struct.pack("<H", 3000)
    write("events_past_area", settings() + fac + plain + bytes(bad))


if __name__ == "__main__":
    main()
