#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes a corpus of malformed audio files for the players.

    scripts/make-malformed-corpus.py OUTDIR

Valid WAV, AIFF, FLAC, Ogg Vorbis and Ogg Speex files are made with sox,
ffmpeg, oggenc and speexenc; each is then cut at every header boundary,
given absurd header fields (sizes, zero channels, rates of 0 and 2^31) and
bit flips. A FIFO, a directory, an empty file and a link to /dev/zero are
added. Every output is deterministic (fixed seeds), one file per case.
"""
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile

SECONDS = "0.3"


def run(command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_sources(work):
    """The valid files every case starts from, by name."""
    wav = os.path.join(work, "s16.wav")
    run(["sox", "-n", "-b", "16", "-r", "44100", "-c", "2", wav, "synth", SECONDS, "sine", "440", "sine", "660"])
    mono8k = os.path.join(work, "mono8k.wav")
    run(["sox", "-n", "-b", "16", "-r", "8000", "-c", "1", mono8k, "synth", SECONDS, "sine", "300"])
    sources = {}
    for kind, command in {
            "wav": ["sox", wav, "-b", "24", "{out}"],
            "aiff": ["sox", wav, "{out}"],
            "flac": ["ffmpeg", "-v", "error", "-y", "-i", wav, "{out}"],
            "ogg": ["oggenc", "-Q", "-q", "1", "-o", "{out}", wav],
            "spx": ["speexenc", "--quiet", mono8k, "{out}"]}.items():
        out = os.path.join(work, "a." + kind)
        run([out if part == "{out}" else part for part in command])
        with open(out, "rb") as f:
            sources[kind] = f.read()
    return sources


# ---- structure of each container: offsets where headers and fields begin


def riff_chunks(data, start, big_endian=False):
    """(offset, id, size) of the chunks after a 12-byte RIFF/FORM header."""
    chunks, at = [], start
    fmt = ">I" if big_endian else "<I"
    while at + 8 <= len(data):
        size = struct.unpack_from(fmt, data, at + 4)[0]
        chunks.append((at, data[at:at + 4], size))
        at += 8 + size + (size & 1)
    return chunks


def ogg_pages(data):
    """Offsets of the Ogg pages, with the size of each."""
    pages, at = [], 0
    while at + 27 <= len(data) and data[at:at + 4] == b"OggS":
        count = data[at + 26]
        body = sum(data[at + 27:at + 27 + count])
        pages.append((at, 27 + count + body))
        at += 27 + count + body
    return pages


CRC_TABLE = []
for i in range(256):
    r = i << 24
    for _ in range(8):
        r = (r << 1) ^ 0x04C11DB7 if r & 0x80000000 else r << 1
    CRC_TABLE.append(r & 0xFFFFFFFF)


def ogg_fix_crc(data, page_at):
    """Recomputes one page's checksum, so that a changed field is read."""
    count = data[page_at + 26]
    size = 27 + count + sum(data[page_at + 27:page_at + 27 + count])
    data[page_at + 22:page_at + 26] = b"\0\0\0\0"
    crc = 0
    for b in data[page_at:page_at + size]:
        crc = ((crc << 8) & 0xFFFFFFFF) ^ CRC_TABLE[((crc >> 24) & 0xFF) ^ b]
    struct.pack_into("<I", data, page_at + 22, crc)


def boundaries(kind, data):
    """Every offset where a header, a chunk or a header field begins."""
    cuts = {0, 1, len(data) - 1}
    if kind in ("wav", "aiff"):
        cuts.update((4, 8, 12))
        for at, cid, size in riff_chunks(data, 12, kind == "aiff"):
            cuts.update((at, at + 4, at + 8))
            if cid == b"fmt ":
                cuts.update(at + 8 + o for o in (2, 4, 8, 12, 14, 16, 18, 20, 24))
            if cid == b"COMM":
                cuts.update(at + 8 + o for o in (2, 6, 8, 10, 18))
            if cid == b"SSND":
                cuts.update((at + 12, at + 16, at + 17))
    elif kind == "flac":
        at = 4
        cuts.add(4)
        while at + 4 <= len(data):
            header = data[at]
            size = int.from_bytes(data[at + 1:at + 4], "big")
            cuts.update((at, at + 1, at + 4))
            if header & 0x7F == 0:
                cuts.update(at + 4 + o for o in (2, 4, 7, 10, 13, 18))
            at += 4 + size
            if header & 0x80:
                break
        cuts.update((at, at + 2, at + 4, at + 5))  # the first frame's header
    else:
        for at, size in ogg_pages(data):
            cuts.update((at, at + 4, at + 5, at + 6, at + 14, at + 18, at + 22, at + 26, at + 27, at + size - 1))
        # The fields of the codec's identification header, in the first page.
        packet = 27 + data[26]
        fields = (7, 11, 12, 16, 28, 29) if kind == "ogg" else (8, 28, 32, 36, 40, 48, 56, 64, 68)
        cuts.update(packet + o for o in fields)
    return sorted(c for c in cuts if 0 <= c < len(data))


def set_field(data, at, fmt, value):
    out = bytearray(data)
    struct.pack_into(fmt, out, at, value)
    return bytes(out)


def extended80(value):
    """An AIFF sample rate: 80-bit IEEE extended, big-endian."""
    if value == 0:
        return b"\0" * 10
    exponent = value.bit_length() - 1
    mantissa = value << (63 - exponent)
    return struct.pack(">HQ", 16383 + exponent, mantissa)


def field_cases(kind, data):
    """(name, bytes) of files whose header fields hold absurd values."""
    cases = []
    if kind == "wav":
        cases += [("riff-size-max", set_field(data, 4, "<I", 0xFFFFFFFF)),
                  ("riff-size-0", set_field(data, 4, "<I", 0))]
        for at, cid, size in riff_chunks(data, 12):
            body = at + 8
            if cid == b"fmt ":
                for name, off, fmt, value in [
                        ("channels-0", 2, "<H", 0), ("channels-65535", 2, "<H", 65535), ("channels-9", 2, "<H", 9),
                        ("rate-0", 4, "<I", 0), ("rate-2p31", 4, "<I", 1 << 31), ("rate-max", 4, "<I", 0xFFFFFFFF),
                        ("rate-1", 4, "<I", 1), ("byterate-0", 8, "<I", 0), ("align-0", 12, "<H", 0),
                        ("align-65535", 12, "<H", 65535), ("bits-0", 14, "<H", 0), ("bits-7", 14, "<H", 7),
                        ("bits-64", 14, "<H", 64), ("bits-65535", 14, "<H", 65535), ("tag-0", 0, "<H", 0),
                        ("tag-unknown", 0, "<H", 0x1234), ("tag-extensible", 0, "<H", 0xFFFE),
                        ("tag-float", 0, "<H", 3), ("tag-alaw", 0, "<H", 6)]:
                    cases.append(("fmt-" + name, set_field(data, body + off, fmt, value)))
                for name, value in [("fmt-size-0", 0), ("fmt-size-2", 2), ("fmt-size-huge", 0xFFFFFFF0),
                                    ("fmt-size-odd", 17), ("fmt-size-max", 0xFFFFFFFF)]:
                    cases.append((name, set_field(data, at + 4, "<I", value)))
            if cid == b"data":
                for name, value in [("data-size-max", 0xFFFFFFFF), ("data-size-huge", 0x7FFFFFFF),
                                    ("data-size-0", 0), ("data-size-odd", 3)]:
                    cases.append((name, set_field(data, at + 4, "<I", value)))
        # Two fmt chunks, the second saying something else; no data chunk.
        fmt_at, _, fmt_size = riff_chunks(data, 12)[0]
        fmt = data[fmt_at:fmt_at + 8 + fmt_size]
        cases.append(("fmt-twice", data[:12] + fmt + set_field(fmt, 10, "<H", 7) + data[fmt_at + 8 + fmt_size:]))
        cases.append(("no-data", data[:fmt_at + 8 + fmt_size]))
        cases.append(("no-fmt", data[:12] + data[fmt_at + 8 + fmt_size:]))
        if fmt_size >= 40:
            for name, off, fmt, value in [("ext-valid-bits-20", 18, "<H", 20), ("ext-mask-mismatch", 20, "<I", 7),
                                          ("ext-subformat-float", 24, "<I", 3), ("ext-cbsize-0", 16, "<H", 0)]:
                cases.append(("fmt-" + name, set_field(data, fmt_at + 8 + off, fmt, value)))
        # Chunks of odd size before the data: padded as they should be, and not.
        rest = data[fmt_at + 8 + fmt_size:]
        junk = b"junk" + struct.pack("<I", 3) + b"abc"
        cases.append(("odd-chunk-padded", data[:fmt_at + 8 + fmt_size] + junk + b"\0" + rest))
        cases.append(("odd-chunk-unpadded", data[:fmt_at + 8 + fmt_size] + junk + rest))
        # A LIST chunk before the data that claims 1.2 GB (and an INFO entry of nearly as much),
        # which a reader that takes the stated size at its word allocates.
        claim = b"LIST" + struct.pack("<I", 0x48000000) + b"INFOISFT" + struct.pack("<I", 0x47FFFFF0) + b"x" * 8
        cases.append(("list-size-huge", data[:fmt_at + 8 + fmt_size] + claim + rest))
        # RF64: the data size in ds64, valid, past the end and absurd; ds64 missing.
        data_at, _, data_size = [c for c in riff_chunks(data, 12) if c[1] == b"data"][0]
        body = data[12:data_at] + b"data" + b"\xff" * 4 + data[data_at + 8:]
        for name, size in [("rf64", data_size), ("rf64-data-past-end", data_size + 4096),
                           ("rf64-data-huge", 1 << 62), ("rf64-data-0", 0)]:
            ds64 = b"ds64" + struct.pack("<IQQQI", 28, len(body) + 36 + 4, size, 0, 0)
            cases.append((name, b"RF64" + b"\xff" * 4 + b"WAVE" + ds64 + body))
        cases.append(("rf64-no-ds64", b"RF64" + b"\xff" * 4 + b"WAVE" + body))
    elif kind == "aiff":
        cases += [("form-size-max", set_field(data, 4, ">I", 0xFFFFFFFF)), ("form-size-0", set_field(data, 4, ">I", 0))]
        for at, cid, size in riff_chunks(data, 12, True):
            body = at + 8
            if cid == b"COMM":
                for name, off, fmt, value in [
                        ("channels-0", 0, ">H", 0), ("channels-65535", 0, ">H", 65535),
                        ("frames-max", 2, ">I", 0xFFFFFFFF), ("frames-0", 2, ">I", 0),
                        ("bits-0", 6, ">H", 0), ("bits-7", 6, ">H", 7), ("bits-64", 6, ">H", 64),
                        ("bits-65535", 6, ">H", 65535)]:
                    cases.append(("comm-" + name, set_field(data, body + off, fmt, value)))
                for name, value in [("rate-0", extended80(0)), ("rate-2p31", extended80(1 << 31)),
                                    ("rate-1", extended80(1)), ("rate-2p63", extended80(1 << 63)),
                                    ("rate-inf", b"\x7f\xff" + b"\0" * 8), ("rate-nan", b"\x7f\xff\xc0" + b"\0" * 7),
                                    ("rate-negative", b"\xc0\x0e\xac\x44" + b"\0" * 6)]:
                    out = bytearray(data)
                    out[body + 8:body + 18] = value
                    cases.append(("comm-" + name, bytes(out)))
                for name, value in [("comm-size-0", 0), ("comm-size-huge", 0xFFFFFFF0), ("comm-size-max", 0xFFFFFFFF)]:
                    cases.append((name, set_field(data, at + 4, ">I", value)))
            if cid == b"SSND":
                for name, off, value in [("ssnd-size-max", -4, 0xFFFFFFFF), ("ssnd-size-0", -4, 0),
                                         ("ssnd-offset-max", 0, 0xFFFFFFFF), ("ssnd-offset-huge", 0, 0x7FFFFFF0),
                                         ("ssnd-block-max", 4, 0xFFFFFFFF)]:
                    cases.append((name, set_field(data, body + off, ">I", value)))
    elif kind == "flac":
        info = 8  # STREAMINFO's body: the first block after "fLaC" and its header
        packed = int.from_bytes(data[info + 10:info + 18], "big")
        def streaminfo(rate=None, channels=None, bits=None, total=None):
            rate = (packed >> 44) & 0xFFFFF if rate is None else rate
            channels = (packed >> 41) & 7 if channels is None else channels
            bits = (packed >> 36) & 31 if bits is None else bits
            total = packed & 0xFFFFFFFFF if total is None else total
            value = rate << 44 | channels << 41 | bits << 36 | total
            out = bytearray(data)
            out[info + 10:info + 18] = value.to_bytes(8, "big")
            return bytes(out)
        cases += [("rate-0", streaminfo(rate=0)), ("rate-max", streaminfo(rate=0xFFFFF)),
                  ("rate-1", streaminfo(rate=1)), ("channels-8", streaminfo(channels=7)),
                  ("bits-4", streaminfo(bits=3)), ("bits-32", streaminfo(bits=31)),
                  ("total-max", streaminfo(total=0xFFFFFFFFF)), ("total-0", streaminfo(total=0)),
                  ("minblock-0", set_field(data, info, ">H", 0)), ("maxblock-0", set_field(data, info + 2, ">H", 0)),
                  ("maxblock-max", set_field(data, info + 2, ">H", 0xFFFF)),
                  ("maxframe-max", set_field(data, info + 7, ">I", 0xFFFFFFFF)),
                  ("block-size-max", data[:5] + b"\xff\xff\xff" + data[8:]),
                  ("block-size-0", data[:5] + b"\0\0\0" + data[8:]),
                  ("block-type-127", data[:4] + bytes([data[4] | 0x7F]) + data[5:]),
                  ("no-last-block", data[:4] + bytes([data[4] & 0x7F]) + data[5:42]),
                  ("magic-only", data[:4])]
    else:
        pages = ogg_pages(data)
        first = pages[0][0]
        count = data[first + 26]
        packet = first + 27 + count  # the first packet: the codec's identification header
        if kind == "ogg":
            fields = [("channels-0", 11, "<B", 0), ("channels-255", 11, "<B", 255), ("rate-0", 12, "<I", 0),
                      ("rate-2p31", 12, "<I", 1 << 31), ("rate-max", 12, "<I", 0xFFFFFFFF),
                      ("blocksize-0", 28, "<B", 0), ("blocksize-max", 28, "<B", 0xFF), ("framing-0", 29, "<B", 0),
                      ("version-1", 7, "<I", 1)]
        else:
            fields = [("rate-0", 36, "<I", 0), ("rate-2p31", 36, "<I", 1 << 31), ("rate-max", 36, "<I", 0xFFFFFFFF),
                      ("mode-99", 40, "<I", 99), ("mode-max", 40, "<I", 0xFFFFFFFF), ("channels-0", 48, "<I", 0),
                      ("channels-max", 48, "<I", 0xFFFFFFFF), ("channels-3", 48, "<I", 3),
                      ("framesize-0", 56, "<I", 0), ("framesize-max", 56, "<I", 0x7FFFFFFF),
                      ("frames-per-packet-0", 64, "<I", 0), ("frames-per-packet-max", 64, "<I", 0x7FFFFFFF),
                      ("extra-headers-max", 68, "<I", 0x7FFFFFFF), ("header-size-0", 32, "<I", 0)]
        for name, off, fmt, value in fields:
            out = bytearray(set_field(data, packet + off, fmt, value))
            cases.append(("id-" + name + "-badcrc", bytes(out)))
            ogg_fix_crc(out, first)
            cases.append(("id-" + name, bytes(out)))
        # Segment tables that claim more than the file holds, and pages that
        # stop in their middle.
        for at, size in pages[:3]:
            out = bytearray(data)
            out[at + 26] = 255
            cases.append(("page%d-segments-max" % at, bytes(out)))
            out = bytearray(data)
            out[at + 27] = 255
            ogg_fix_crc(out, at)
            cases.append(("page%d-lacing-max" % at, bytes(out)))
        cases.append(("granule-max", bytes(_with_granule(data, pages[-1][0], 0x7FFFFFFFFFFFFFFF))))
        cases.append(("granule-negative", bytes(_with_granule(data, pages[-1][0], -5))))
        cases.append(("no-bos", bytes(_with_flag(data, first, 0))))
        cases.append(("header-page-twice", data[:pages[1][0]] + data))
    return cases


def _with_granule(data, at, value):
    out = bytearray(data)
    struct.pack_into("<q", out, at + 6, value)
    ogg_fix_crc(out, at)
    return out


def _with_flag(data, at, flags):
    out = bytearray(data)
    out[at + 5] = flags
    ogg_fix_crc(out, at)
    return out


def flips(data, rng, count, limit):
    out = bytearray(data)
    for _ in range(count):
        at = rng.randrange(min(limit, len(out)))
        out[at] ^= 1 << rng.randrange(8)
    return bytes(out)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make-malformed-corpus.py OUTDIR")
    out_dir = sys.argv[1]
    if os.path.lexists(out_dir):
        shutil.rmtree(out_dir)
    os.makedirs(out_dir)
    count = 0

    def write(name, content):
        nonlocal count
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(content)
        count += 1

    with tempfile.TemporaryDirectory() as work:
        sources = make_sources(work)
    rng = random.Random(20261206)
    for kind, data in sources.items():
        write("valid." + kind, data)
        for cut in boundaries(kind, data):
            write("cut-%d.%s" % (cut, kind), data[:cut])
        for name, content in field_cases(kind, data):
            write("%s.%s" % (name, kind), content)
        for i in range(6):
            write("flip-head-%d.%s" % (i, kind), flips(data, rng, 1 + i, 96))
        for i, flipped in enumerate((1, 4, 16, 64, 256)):
            write("flip-%d.%s" % (i, kind), flips(data, rng, flipped, len(data)))
    write("empty.wav", b"")
    write("text.ogg", b"hello, world\n")
    write("zeros.flac", bytes(4096))
    os.mkfifo(os.path.join(out_dir, "fifo.wav"))
    os.mkdir(os.path.join(out_dir, "directory.ogg"))
    os.symlink("/dev/zero", os.path.join(out_dir, "dev-zero.wav"))
    count += 3
    print("%d files in %s" % (count, out_dir))


if __name__ == "__main__":
    main()
