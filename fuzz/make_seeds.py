#!/usr/bin/env python3
"""Writes the seed corpora (fuzz/corpus/<target>/) and the sample image files
(fuzz/images/*.fw) that docs/RELIABILITY.md loads. Run from anywhere; the
output is deterministic, so a re-run changes nothing that is committed."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def image(data, name=b"seed image", checksum=None, length=None, magic=b"FW",
          sw=(2, 9), low=(1, 0), high=(3, 0)):
    if checksum is None:
        checksum = sum(data) & 0xFFFF
    if length is None:
        length = len(data)
    header = magic + struct.pack("<HIBBIBIB", checksum, length, sw[0], sw[1], low[0], low[1], high[0], high[1])
    header += name[:108].ljust(108, b"\0")
    assert len(header) == 128
    return header + data


def pattern(n, seed=7):
    out = bytearray()
    for _ in range(n):
        seed = (seed * 1103515245 + 12345) & 0xFFFFFFFF
        out.append((seed >> 16) & 0xFF)
    return bytes(out)


def frame(message, corrupt=False):
    total = sum(message) & 0xFF
    checksum = (-total) & 0xFF
    if corrupt:
        checksum ^= 0xFF
    out = bytearray([0x05])
    for b in list(message) + [checksum]:
        if b < 0x20:
            out += bytes([0x09, b | 0x20])
        else:
            out.append(b)
    out.append(0x0A)
    return bytes(out)


def images():
    good = pattern(300)
    bad = bytearray(good)
    bad[17] ^= 0x40
    return {
        "good.fw": image(good),
        "short.fw": image(good)[:60],
        "truncated-data.fw": image(good)[:128 + 100],
        "length-4g.fw": image(pattern(16), length=0xFFFFFFFF),
        "bad-checksum.fw": image(bytes(bad), checksum=sum(good) & 0xFFFF),
        "name-108.fw": image(good, name=b"N" * 108),
        "other-magic.fw": image(good, magic=b"ZZ"),
        "trailing-bytes.fw": image(good) + pattern(40, seed=99),
        "empty-data.fw": image(b"", checksum=0),
        "empty-data-bad-checksum.fw": image(b"", checksum=5),
        "header-only.fw": image(good)[:128],
    }


def main():
    imgs = images()
    for name, data in imgs.items():
        write(os.path.join(HERE, "images", name), data)

    corpus = os.path.join(HERE, "corpus")
    # image_loader: control byte (bit 0 size unknown, bit 1 reads fail), failure position, file.
    for name, data in imgs.items():
        stem = name[:-3]
        write(os.path.join(corpus, "image_loader", stem), bytes([0, 0, 0]) + data)
        write(os.path.join(corpus, "image_loader", stem + "-pipe"), bytes([1, 0, 0]) + data)
    good = imgs["good.fw"]
    for at in (0, 3, 127, 128, 200, len(good)):
        write(os.path.join(corpus, "image_loader", "good-fail-at-%d" % at), bytes([2]) + struct.pack("<H", at) + good)
        write(os.path.join(corpus, "image_loader", "good-pipe-fail-at-%d" % at), bytes([3]) + struct.pack("<H", at) + good)

    # frame_decoder: line bytes as they arrive.
    hwinfo_request = frame(bytes([0x80, 0x04, 0x00, 0x00]))
    block = frame(bytes([0x80, 0x01, 0, 0, 0, 0, 1, 0x7E]))
    reply = bytes.fromhex("05C00924092009203C0A")
    decoder = {
        "hwinfo-request": hwinfo_request,
        "block-checksum-zero": block,
        "hwinfo-reply": reply,
        "no-body": bytes([0x05, 0x0A]),
        "one-byte-body": bytes([0x05, 0x00, 0x0A]),
        "dangling-escape": bytes.fromhex("05C040090A"),
        "start-inside-body": frame(bytes([0xC0, 0x05, 0x05, 0x00])),
        "noise-then-frame": bytes([0x00, 0xFF, 0x0A, 0x09, 0x41]) + reply,
        "corrupt-then-good": frame(bytes([0xC0, 0x03, 0, 0, 1, 2, 3]), corrupt=True) + reply,
        "longest-frame": frame(bytes([0x00] * 255 + [0x01])),
        "body-over-256": bytes([0x05]) + bytes([0x41] * 300) + bytes([0x0A]),
        "two-frames": reply + hwinfo_request,
        "unended": bytes([0x05, 0xC0, 0x01, 0x00]),
        "empty": b"",
    }
    for name, data in decoder.items():
        write(os.path.join(corpus, "frame_decoder", name), data)

    # reply_parsing: the reply length, then the reply message.
    ident = bytes.fromhex("C0030000" "12345678" "0205" "00000001" "00" "00000002" "09") + b"AB\0"
    hw = bytes.fromhex("C0040000" "00000003" "01" "00000102")
    replies = {
        "identity-example": bytes([len(ident)]) + ident,
        "hwinfo-example": bytes([len(hw)]) + hw,
        "identity-chip-only": bytes([8]) + ident[:8],
        "identity-19": bytes([19]) + ident[:19],
        "identity-20": bytes([20]) + ident[:20],
        "identity-unterminated-name": bytes([21 + 5]) + ident[:20] + b"ABCDEF",
        "identity-long-name": bytes([255]) + ident[:20] + b"L" * 235,
        "hwinfo-12": bytes([12]) + hw[:12],
        "length-past-bytes": bytes([200]) + hw,
        "zero": bytes([0]),
    }
    for name, data in replies.items():
        write(os.path.join(corpus, "reply_parsing", name), data)

    # settings_file: control byte (bit 0 over-long program path, bit 1 save a name), file contents.
    settings = {
        "port-name": bytes([0]) + b"/dev/ttyUSB0".ljust(32, b"\0"),
        "no-zero-byte": bytes([0]) + b"A" * 32,
        "short-file": bytes([0]) + b"COM2",
        "empty-file": bytes([0]),
        "longer-file": bytes([0]) + b"COM3".ljust(32, b"\0") + b"tail" * 10,
        "long-program-path": bytes([1]) + b"/dev/ttyS1".ljust(32, b"\0"),
        "save-new-name": bytes([2]) + b"/dev/ttyACM0\0old",
        "save-40-characters": bytes([2]) + b"/dev/serial/by-id/usb-FTDI-0123456789",
        "save-long-program-path": bytes([3]) + b"COM4",
    }
    for name, data in settings.items():
        write(os.path.join(corpus, "settings_file", name), data)

    # signature_file: a signature and a public key as kavro-cli writes them, then damaged.
    signature = (b"kavro-signature 1\nkey-id 0123456789abcdef\nsigner Release Office\n"
                 b"time 2026-12-07T22:15:00Z\nsha256 " + b"ab" * 32 + b"\nsignature " + b"5c" * 64 + b"\n")
    public = b"kavro-public-key 1\nkey-id 0123456789abcdef\nsigner Release Office\npublic " + b"11" * 32 + b"\n"
    signatures = {
        "signature": signature,
        "public-key": public,
        "cut": signature[:len(signature) // 2],
        "wrong-version": signature.replace(b"kavro-signature 1", b"kavro-signature 2"),
        "upper-case-hex": signature.replace(b"ab" * 32, b"AB" * 32),
        "trailing-line": signature + b"extra 1\n",
        "garbage": bytes(range(256)),
    }
    for name, data in signatures.items():
        write(os.path.join(corpus, "signature_file", name), data)

    # catalogue: compiled .mo files, sound in both byte orders, then damaged.
    entries = [(b"", b"Content-Type: text/plain; charset=UTF-8\n"), (b"Ready", b"Bereit"),
               (b"Port %s: %s", b"Anschluss %s: %s")]
    catalogues = {"small": mo(entries), "small-big-endian": mo(entries, ">"), "empty": mo([])}
    good = catalogues["small"]
    catalogues["truncated"] = good[:len(good) - 1]
    translated = 28 + 8 * len(entries)  # the header's translation: its length and offset
    catalogues["header-beyond-the-end"] = good[:translated] + struct.pack("<II", 0x7FFFFFF0, 0xFFFFFFF0) + good[translated + 8:]
    catalogues["no-closing-zero"] = good[:-1] + b"!"
    catalogues["count-too-large"] = good[:8] + struct.pack("<I", 0x10000000) + good[12:]
    for name, data in catalogues.items():
        write(os.path.join(corpus, "catalogue", name + ".mo"), data)


def mo(entries, order="<"):
    """A GNU .mo file: header, original and translated tables, then the texts."""
    count = len(entries)
    originals, translations = 28, 28 + 8 * count
    at = translations + 8 * count
    tables, texts = [b"", b""], b""
    for column in (0, 1):
        for entry in entries:
            tables[column] += struct.pack(order + "II", len(entry[column]), at + len(texts))
            texts += entry[column] + b"\0"
    header = struct.pack(order + "IIIIIII", 0x950412DE, 0, count, originals, translations, 0, at)
    return header + tables[0] + tables[1] + texts


if __name__ == "__main__":
    main()
