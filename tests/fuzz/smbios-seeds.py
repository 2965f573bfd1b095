#!/usr/bin/env python3
"""Writes the SMBIOS target's seed machines into corpus/smbios from the captured
QEMU machines (tests/fixtures/hardware/qemu-machines.tar.xz). Run it again only
when the captures are renewed.

A seed is the F000h segment of a machine from its start; the target also places
it at physical 0. So an entry point at offset 0 whose table address is 20h reads
the table right behind it (as in a dmidecode dump), and one whose table address
is F0020h reads it inside the window."""
import io
import lzma
import os
import struct
import tarfile

HERE = os.path.dirname(os.path.abspath(__file__))
ARCHIVE = os.path.join(HERE, "..", "fixtures", "hardware", "qemu-machines.tar.xz")
OUT = os.path.join(HERE, "corpus", "smbios")


def machines():
    with lzma.open(ARCHIVE) as xz, tarfile.open(fileobj=io.BytesIO(xz.read())) as tar:
        return {m.name: tar.extractfile(m).read() for m in tar.getmembers() if m.isfile()}


def entry_point_and_table(image):
    for address in range(0xF0000, 0x100000, 16):
        if image[address:address + 4] == b"_SM_":
            entry = bytearray(image[address:address + 0x1F])
            length, table = struct.unpack_from("<HI", entry, 0x16)
            return entry, image[table:table + length]
    raise SystemExit("no entry point in the image")


def seed(entry, table, table_address, version=None):
    entry = bytearray(entry)
    struct.pack_into("<HI", entry, 0x16, len(table), table_address)
    if version:
        entry[6], entry[7] = version
    # The intermediate checksum (10h..1Eh), then the whole entry point's.
    entry[0x15] = 0
    entry[0x15] = (-sum(entry[0x10:0x1F])) & 0xFF
    entry[0x04] = 0
    entry[0x04] = (-sum(entry[0:entry[5]])) & 0xFF
    return bytes(entry) + b"\0" + table


def main():
    captured = machines()
    os.makedirs(OUT, exist_ok=True)
    norvik_entry, norvik_table = entry_point_and_table(captured["norvik-i440fx.img"])
    acme_entry, acme_table = entry_point_and_table(captured["acme-q35.img"])
    seeds = {
        "norvik-dump": captured["norvik-i440fx.dump"],
        "norvik-window": seed(norvik_entry, norvik_table, 0xF0020),
        "norvik-smbios-2.0": seed(norvik_entry, norvik_table, 0x20, version=(2, 0)),
        "norvik-table-cut-short": seed(norvik_entry, norvik_table, 0x20)[:0x20 + len(norvik_table) // 2],
        "acme-two-sockets": seed(acme_entry, acme_table, 0x20),
    }
    for name, data in seeds.items():
        with open(os.path.join(OUT, name), "wb") as out:
            out.write(data)


if __name__ == "__main__":
    main()
