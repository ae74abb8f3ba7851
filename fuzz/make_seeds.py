#!/usr/bin/env python3
"""Writes the fuzz seeds under fuzz/seeds/: a small payload made by mkpayload from a few real payload files,
the damaged forms of it that the installer must refuse, and entry names good and bad.
Usage: python3 fuzz/make_seeds.py PATH/TO/mkpayload   (e.g. build/host/mkpayload)"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
seeds = os.path.join(top, "fuzz", "seeds")
# A few real entries from each group, the "#" and "," name among them; small enough to keep the seeds light.
picked = ["License.txt", "Templates\\TOCs\\Table Of Contents 5.rtf", "Clip Library\\Closings\\See you.txt",
          "Clip Library\\Headers & Footers\\Author, Page #, Date.rtf", "Clip Library\\Images\\Bullets\\Bullet 07.png"]


def record(name, time, data):
    raw = name.encode("utf-8")
    return bytes([len(raw)]) + raw + struct.pack("<dI", time, len(data)) + data


def write(target, name, data):
    os.makedirs(os.path.join(seeds, target), exist_ok=True)
    with open(os.path.join(seeds, target, name), "wb") as f:
        f.write(data)


def main():
    mkpayload = sys.argv[1]
    times = {}
    with open(os.path.join(top, "payload", "manifest.txt"), encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\r\n")
            if line and not line.startswith("#"):
                stamp, name = line.split("\t", 1)
                times[name] = stamp
    with tempfile.TemporaryDirectory() as tmp:
        manifest = os.path.join(tmp, "manifest.txt")
        with open(manifest, "w", encoding="utf-8") as f:
            f.writelines(f"{times[n]}\t{n}\n" for n in picked)
        packed_path = os.path.join(tmp, "payload.bin")
        subprocess.run([mkpayload, manifest, os.path.join(top, "payload", "files"), packed_path], check=True)
        with open(packed_path, "rb") as f:
            packed = f.read()
    archive = zlib.decompress(packed)
    for target in ("archive_walk", "catalogue", "entry_name"):
        shutil.rmtree(os.path.join(seeds, target), ignore_errors=True)

    # The first record's size field, then damaged archives: cut short, a size past the end, a climbing name.
    first_name_len = archive[0]
    size_at = 1 + first_name_len + 8
    past_end = bytearray(archive)
    past_end[size_at:size_at + 4] = struct.pack("<I", len(archive))
    climbing = archive + record("Templates\\..\\..\\escaped.txt", 38005.0, b"escaped")
    device = archive + record("Templates\\CON.rtf", 38005.0, b"{\\rtf1}")
    flipped_len = bytearray(archive)
    flipped_len[0] ^= 0x01
    raw = {"payload": archive, "truncated": archive[:len(archive) // 2], "size_past_end": bytes(past_end),
           "dotdot_name": climbing, "device_name": device, "flipped": bytes(flipped_len), "empty": b""}
    for name, data in raw.items():
        write("archive_walk", name, data)

    # The catalogue reads the compressed resource: the same damage, plus damage to the stream itself.
    flipped = bytearray(packed)
    flipped[len(packed) // 2] ^= 0x10
    bad_adler = bytearray(packed)
    bad_adler[-1] ^= 0x01
    compressed = {"payload": packed, "flipped": bytes(flipped), "bad_adler": bytes(bad_adler),
                  "truncated": packed[:len(packed) // 2], "size_past_end": zlib.compress(bytes(past_end), 9),
                  "dotdot_name": zlib.compress(climbing, 9), "device_name": zlib.compress(device, 9),
                  "empty": b""}
    for name, data in compressed.items():
        write("catalogue", name, data)

    names = {f"good_{i}": n.encode("utf-8") for i, n in enumerate(picked)}
    names.update({"dotdot": b"Templates\\..\\..\\escaped.txt", "device": b"Templates\\CON.rtf", "drive": b"C:\\x",
                  "overlong_dots": b"\xc0\xae\xc0\xae\\x", "trailing": b"Templates. \\a.txt", "nul": b"nul",
                  "com": b"Com1.txt", "four_byte": "\U0001F600.txt".encode("utf-8"), "empty": b""})
    for name, data in names.items():
        write("entry_name", name, data)


if __name__ == "__main__":
    main()
