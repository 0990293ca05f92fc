#!/usr/bin/python3
"""Writes tagged copies of an untagged MP3 for the tag tests: make_tagged_files.py BASE.mp3 OUTDIR.

mutagen writes what it can (ID3v2.3/2.4, APEv2, pictures, ReplayGain); the forms it does not write
(ID3v2.2, whole-tag unsynchronisation, v2.4 with plain sizes or a footer, ID3v1 in legacy code pages)
are put together here byte by byte."""
import os
import struct
import sys

from mutagen.apev2 import APEv2, APEValue, BINARY
from mutagen.id3 import (APIC, COMM, ID3, RVA2, TALB, TCON, TDRC, TIT2, TPE1, TPE2, TCOM, TPOS, TRCK,
                         TXXX, TYER)

base, out = sys.argv[1], sys.argv[2]
audio = open(base, "rb").read()
# A tiny PNG-like picture with 0xFF 0x00 and 0xFF 0xE0 pairs, which unsynchronisation must change.
PICTURE = b"\x89PNG\r\n\x1a\n" + bytes(range(256)) * 3 + b"\xff\x00\xff\xe0\xff"


def write(name, data):
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
    return os.path.join(out, name)


def synchsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def id3v1(title, artist, album, year, comment, track, genre):
    def field(b, n):
        return b[:n].ljust(n, b"\0")
    return (b"TAG" + field(title, 30) + field(artist, 30) + field(album, 30) + field(year, 4) +
            field(comment, 28) + b"\0" + bytes([track, genre]))


def unsynchronised(data):
    out = bytearray()
    for i, b in enumerate(data):
        out.append(b)
        if b == 0xFF and (i + 1 == len(data) or data[i + 1] == 0 or data[i + 1] >= 0xE0):
            out.append(0)
    return bytes(out)


def v23_frame(fid, body, flags=b"\0\0"):
    return fid + struct.pack(">I", len(body)) + flags + body


def v24_frame(fid, body, plain=False):
    size = struct.pack(">I", len(body)) if plain else synchsafe(len(body))
    return fid + size + b"\0\0" + body


def v22_frame(fid, body):
    return fid + struct.pack(">I", len(body))[1:] + body


def tag(version, flags, frames, padding=64, footer=False):
    body = frames + b"\0" * padding
    header = b"ID3" + bytes([version, 0, flags]) + synchsafe(len(body))
    tail = b"3DI" + bytes([version, 0, flags]) + synchsafe(len(body)) if footer else b""
    return header + body + tail


# mutagen: ID3v2.4 UTF-8 and ID3v2.3 UTF-16, with every field, a picture and ReplayGain in TXXX.
def mutagen_id3(name, version, encoding):
    path = write(name, audio)
    t = ID3()
    t.add(TIT2(encoding=encoding, text="Grüße Title"))
    t.add(TPE1(encoding=encoding, text="Ärtist"))
    t.add(TALB(encoding=encoding, text="Album ü"))
    t.add(TYER(encoding=encoding, text="1999") if version == 3 else TDRC(encoding=encoding, text="1999-04-01"))
    t.add(TRCK(encoding=encoding, text="3/12"))
    t.add(TPOS(encoding=encoding, text="1/2"))
    t.add(TPE2(encoding=encoding, text="Album Artist"))
    t.add(TCOM(encoding=encoding, text="Composer"))
    t.add(TCON(encoding=encoding, text="(17)" if version == 3 else "17"))
    t.add(COMM(encoding=encoding, lang="eng", desc="", text="A comment"))
    t.add(APIC(encoding=encoding, mime="image/png", type=3, desc="front", data=PICTURE))
    t.add(TXXX(encoding=encoding, desc="REPLAYGAIN_TRACK_GAIN", text="-6.02 dB"))
    t.add(TXXX(encoding=encoding, desc="REPLAYGAIN_TRACK_PEAK", text="0.500000"))
    t.save(path, v2_version=version, v1=0)


mutagen_id3("v24-utf8.mp3", 4, 3)
mutagen_id3("v24-utf16.mp3", 4, 1)
mutagen_id3("v23-utf16.mp3", 3, 1)
mutagen_id3("v23-latin1.mp3", 3, 0)

# RVA2 for the album gain, next to a TIT2.
path = write("v24-rva2.mp3", audio)
t = ID3()
t.add(TIT2(encoding=3, text="Relative volume"))
t.add(RVA2(desc="album", channel=1, gain=-3.5, peak=0.75))
t.save(path, v2_version=4, v1=0)

# ID3v2.2: three-letter frames, PIC with an image format.
frames = (v22_frame(b"TT2", b"\0Two Two Title") + v22_frame(b"TP1", b"\x01\xff\xfeA\0r\0t\0") +
          v22_frame(b"TAL", b"\0Old Album") + v22_frame(b"TYE", b"\x001988") + v22_frame(b"TRK", b"\x005/9") +
          v22_frame(b"TCO", b"\0(13)") + v22_frame(b"COM", b"\0eng\0Old comment") +
          v22_frame(b"PIC", b"\0PNG\x03desc\0" + PICTURE))
write("v22.mp3", tag(2, 0, frames) + audio)

# ID3v2.3 with the whole tag unsynchronised.
frames = (v23_frame(b"TIT2", b"\0Unsynchronised \xff title") + v23_frame(b"TPE1", b"\0Sync Artist") +
          v23_frame(b"APIC", b"\0image/png\0\x03\0" + PICTURE))
body = unsynchronised(frames) + b"\0" * 32
write("v23-unsync.mp3", b"ID3\x03\x00\x80" + synchsafe(len(body)) + body + audio)

# ID3v2.4 with plain (not synchsafe) sizes, as some writers do: a 200-byte title tells them apart.
long_title = "Plain " + "x" * 194
frames = v24_frame(b"TIT2", b"\x03" + long_title.encode(), plain=True) + v24_frame(b"TPE1", b"\x03Plain Artist", plain=True)
write("v24-plain.mp3", tag(4, 0, frames) + audio)

# ID3v2.4 with a footer, several values in one frame, and per-frame unsynchronisation with a data length.
picture_body = b"\0image/png\0\x03\0" + PICTURE
unsync_body = unsynchronised(picture_body)
frames = (v24_frame(b"TIT2", b"\x03Footer Title") + v24_frame(b"TPE1", b"\x03One\0Two") +
          b"APIC" + synchsafe(len(unsync_body) + 4) + b"\x00\x03" + synchsafe(len(picture_body)) + unsync_body)
write("v24-footer.mp3", tag(4, 0x10, frames, padding=0, footer=True) + audio)

# ffmpeg's own ID3v2.4 is written by the test itself; mutagen's APEv2, with and without ID3v1 behind it.
for name, v1 in (("ape.mp3", b""), ("ape-v1.mp3", id3v1(b"V1 title", b"V1 artist", b"", b"2000", b"", 4, 255))):
    path = write(name, audio + v1)
    ape = APEv2()
    ape["Title"] = "Ape Title ñ"
    ape["Artist"] = "Ape Artist"
    ape["Album"] = "Ape Album"
    ape["Year"] = "2011"
    ape["Track"] = "7/10"
    ape["Genre"] = "Jazz"
    ape["REPLAYGAIN_TRACK_GAIN"] = "+2.50 dB"
    ape["REPLAYGAIN_ALBUM_GAIN"] = "-1.25 dB"
    ape["Cover Art (Front)"] = APEValue(b"cover.png\0" + PICTURE, BINARY)
    ape.save(path)

# ID3v1 only, and ID3v1 text in legacy code pages.
write("v1.mp3", audio + id3v1(b"Only V1", b"V1 Artist", b"V1 Album", b"1977", b"", 2, 17))
write("v1-cp1251.mp3", audio + id3v1("Привет мир".encode("cp1251"), b"Artist", b"", b"2005", b"", 1, 255))
write("v1-sjis.mp3", audio + id3v1("日本の歌".encode("shift_jis"), b"Artist", b"", b"2006", b"", 1, 255))

# The picture as embedded, for byte-for-byte comparison.
write("picture.png", PICTURE)
