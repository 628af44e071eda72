#!/usr/bin/env python3
"""Checks a WAVE file that the host tool wrote from the sample tone.

usage: check_wave.py FILE --format RATE:BITS:CHANNELS --seconds S --tolerance-ms MS
                      --freq HZ --level DBFS [--tag ID=TEXT ...]

Reads the RIFF chunks itself (the standard library's wave module does not read the
extensible format that 24-bit files use), then checks the format, the length, the
tone's frequency (zero crossings, and the Goertzel power at the frequency against
its neighbours), its peak level, and the LIST INFO texts. Prints each finding and
exits 1 on the first failed check.
"""
import argparse
import math
import struct
import sys


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def read_chunks(path):
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 12 or data[0:4] != b"RIFF" or data[8:12] != b"WAVE":
        fail("%s is not a RIFF WAVE file" % path)
    riff_size = struct.unpack_from("<I", data, 4)[0]
    if riff_size + 8 != len(data):
        fail("RIFF size %d does not match the file size %d" % (riff_size + 8, len(data)))
    chunks = {}
    pos = 12
    while pos + 8 <= len(data):
        cid = data[pos:pos + 4]
        size = struct.unpack_from("<I", data, pos + 4)[0]
        if pos + 8 + size > len(data):
            fail("chunk %r runs past the end of the file" % cid)
        chunks.setdefault(cid, data[pos + 8:pos + 8 + size])
        pos += 8 + size + (size & 1)
    return chunks


def parse_format(fmt):
    if fmt is None or len(fmt) < 16:
        fail("no fmt chunk")
    tag, channels, rate, byte_rate, block_align, bits = struct.unpack_from("<HHIIHH", fmt, 0)
    if tag not in (1, 0xFFFE):
        fail("format tag %#x is not PCM" % tag)
    if tag == 0xFFFE:
        valid_bits = struct.unpack_from("<H", fmt, 18)[0]
        sub_format = fmt[24:40]
        if sub_format[:2] != b"\x01\x00":
            fail("extensible sub-format is not PCM")
        if valid_bits != bits:
            fail("valid bits %d differ from the container's %d" % (valid_bits, bits))
    if block_align != channels * bits // 8 or byte_rate != block_align * rate:
        fail("inconsistent block align %d / byte rate %d" % (block_align, byte_rate))
    return rate, bits, channels


def parse_info(chunk):
    texts = {}
    if chunk is None or chunk[0:4] != b"INFO":
        return texts
    pos = 4
    while pos + 8 <= len(chunk):
        cid = chunk[pos:pos + 4].decode("latin-1")
        size = struct.unpack_from("<I", chunk, pos + 4)[0]
        texts[cid] = chunk[pos + 8:pos + 8 + size].split(b"\0")[0].decode("latin-1")
        pos += 8 + size + (size & 1)
    return texts


def first_channel(data, bits, channels):
    width = bits // 8
    step = width * channels
    frames = len(data) // step
    full = float(1 << (bits - 1))
    if bits == 8:
        return [(data[i * step] - 128) / full for i in range(frames)]
    if bits == 16:
        values = struct.unpack("<%dh" % (frames * channels), data[:frames * step])
        return [v / full for v in values[::channels]]
    if bits == 32:
        values = struct.unpack("<%di" % (frames * channels), data[:frames * step])
        return [v / full for v in values[::channels]]
    out = []
    for i in range(frames):
        b = data[i * step:i * step + width]
        out.append(int.from_bytes(b, "little", signed=True) / full)
    return out


def goertzel(samples, rate, freq):
    w = 2 * math.pi * freq / rate
    coeff = 2 * math.cos(w)
    s1 = s2 = 0.0
    for x in samples:
        s0 = x + coeff * s1 - s2
        s2 = s1
        s1 = s0
    return s1 * s1 + s2 * s2 - coeff * s1 * s2


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("file")
    parser.add_argument("--format", required=True)
    parser.add_argument("--seconds", type=float, required=True)
    parser.add_argument("--tolerance-ms", type=float, required=True)
    parser.add_argument("--freq", type=float, required=True)
    parser.add_argument("--level", type=float, required=True)
    parser.add_argument("--tag", action="append", default=[])
    args = parser.parse_args()

    chunks = read_chunks(args.file)
    rate, bits, channels = parse_format(chunks.get(b"fmt "))
    wanted = tuple(int(v) for v in args.format.split(":"))
    print("format: %d:%d:%d" % (rate, bits, channels))
    if (rate, bits, channels) != wanted:
        fail("format %d:%d:%d, wanted %s" % (rate, bits, channels, args.format))

    data = chunks.get(b"data")
    if data is None:
        fail("no data chunk")
    frame_bytes = bits // 8 * channels
    if len(data) % frame_bytes:
        fail("data size %d is not whole frames of %d bytes" % (len(data), frame_bytes))
    frames = len(data) // frame_bytes
    seconds = frames / rate
    print("length: %d frames, %.4f s" % (frames, seconds))
    if abs(seconds - args.seconds) * 1000 > args.tolerance_ms:
        fail("length %.4f s, wanted %.3f s within %g ms" % (seconds, args.seconds,
                                                            args.tolerance_ms))

    # Every channel carries the same tone; check each one's level, the first one's pitch.
    samples = first_channel(data, bits, channels)
    # Leave out the edges, where a resampler's filter settles.
    edge = rate // 20
    body = samples[edge:len(samples) - edge]
    if len(body) < rate // 2:
        fail("too little audio to measure")
    peak = max(abs(x) for x in body)
    level = 20 * math.log10(peak) if peak > 0 else -999.0
    print("peak level: %.2f dBFS" % level)
    if abs(level - args.level) > 0.5:
        fail("peak level %.2f dBFS, wanted %.1f within 0.5 dB" % (level, args.level))
    for c in range(1, channels):
        other = first_channel(data[c * bits // 8:], bits, 1)[::channels]
        if abs(max(abs(x) for x in other[edge:-edge]) - peak) > 0.01:
            fail("channel %d does not carry the tone at the same level" % c)

    crossings = sum(1 for a, b in zip(body, body[1:]) if (a < 0) != (b < 0))
    estimate = crossings / 2 / (len(body) / rate)
    print("frequency by zero crossings: %.2f Hz" % estimate)
    if abs(estimate - args.freq) > args.freq * 0.002:
        fail("frequency %.2f Hz, wanted %g Hz" % (estimate, args.freq))
    target = goertzel(body, rate, args.freq)
    for neighbour in (args.freq * 0.9, args.freq * 1.1):
        power = goertzel(body, rate, neighbour)
        ratio = 10 * math.log10(target / max(power, 1e-30))
        print("power at %g Hz over %g Hz: %.1f dB" % (args.freq, neighbour, ratio))
        if ratio < 40:
            fail("the tone at %g Hz is only %.1f dB above %g Hz" % (args.freq, ratio, neighbour))

    info = parse_info(chunks.get(b"LIST"))
    for item in args.tag:
        key, _, text = item.partition("=")
        print("tag %s: %r" % (key, info.get(key)))
        if info.get(key) != text:
            fail("tag %s is %r, wanted %r" % (key, info.get(key), text))
    print("OK: %s" % args.file)


if __name__ == "__main__":
    main()
