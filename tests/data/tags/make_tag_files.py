#!/usr/bin/env python3
"""Writes the tagged test files of this folder around the 0.3 s, 128 kbit/s Layer III stream of
../l3-junk100.mp3 (its 100 leading junk bytes dropped). Run from anywhere; the output is the same each time."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
with open(os.path.join(HERE, '..', 'l3-junk100.mp3'), 'rb') as f:
    AUDIO = f.read()[100:]


def syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def frame(frame_id, content):
    return frame_id.encode('ascii') + struct.pack('>I', len(content)) + b'\0\0' + content


def latin1(frame_id, text):
    return frame(frame_id, b'\0' + text.encode('latin-1'))


def utf16(frame_id, text, big_endian=False):
    data = text.encode('utf-16-be' if big_endian else 'utf-16-le')
    return frame(frame_id, b'\x01' + (b'\xfe\xff' if big_endian else b'\xff\xfe') + data)


def id3v2(frames, padding=64):
    body = b''.join(frames) + bytes(padding)
    return b'ID3\x03\x00\x00' + syncsafe(len(body)) + body


def fixed(text, size):
    data = text.encode('latin-1')[:size]
    return data + bytes(size - len(data))


def id3v1(title, artist, album, year, comment, genre, track=None):
    if track is None:
        comment_bytes = fixed(comment, 30)
    else:
        comment_bytes = fixed(comment, 28) + b'\0' + bytes([track])
    return (b'TAG' + fixed(title, 30) + fixed(artist, 30) + fixed(album, 30) + fixed(year, 4) + comment_bytes +
            bytes([genre]))


def chunk(chunk_id, content):
    pad = b'\0' if len(content) % 2 else b''
    return chunk_id.encode('ascii') + struct.pack('<I', len(content)) + content + pad


def lyrics3v2(fields):
    body = b'LYRICSBEGIN' + b''.join(k + b'%05d' % len(v) + v for k, v in fields)
    return body + b'%06d' % len(body) + b'LYRICS200'


def write(name, data):
    with open(os.path.join(HERE, name), 'wb') as f:
        f.write(data)


write('id3v11.mp3', AUDIO + id3v1('Caf\xe9 Song', 'V1 Artist', 'V1 Album', '1997', 'V1 comment', 17, 5))

write('id3v23-latin1.mp3', id3v2([
    latin1('TIT2', 'Na\xefve Title'),
    latin1('TPE1', 'Latin Artist'),
    latin1('TALB', 'Latin Album'),
    latin1('TYER', '2001'),
    frame('COMM', b'\0eng' + b'Short\0' + 'Comment caf\xe9'.encode('latin-1')),
    latin1('TCON', '(13)'),
]) + AUDIO)

write('id3v23-utf16.mp3', id3v2([
    utf16('TIT2', 'Gr\u00fc\u00dfe \u65e5\u672c'),
    utf16('TPE1', '\u00c5sa Big-Endian', big_endian=True),
    utf16('TALB', 'UTF-16 Album'),
    frame('COMM', b'\x01eng' + b'\xff\xfe\0\0' + b'\xff\xfe' + 'Kommentar \u00e4'.encode('utf-16-le') + b'\0\0'),
    latin1('TCON', '(31)Goa Trance'),
]) + AUDIO)

info = b'INFO' + b''.join(chunk(k, v.encode('latin-1') + b'\0') for k, v in [
    ('INAM', 'RIFF Title'), ('IART', 'RIFF Artist'), ('IPRD', 'RIFF Album'), ('ICRD', '1999'),
    ('ICMT', 'RIFF comment'), ('IGNR', 'Ambient')])
# Wave format 0x55 (MPEG Layer III) for the stereo 44.1 kHz, 128 kbit/s stream.
fmt = struct.pack('<HHIIHH', 0x55, 2, 44100, 16000, 1, 0) + struct.pack('<H', 0)
riff_body = b'WAVE' + chunk('fmt ', fmt) + chunk('data', AUDIO) + chunk('LIST', info)
write('riff-info.mp3', b'RIFF' + struct.pack('<I', len(riff_body)) + riff_body)

fork = AUDIO + id3v1('MacBinary Title', 'Mac Artist', '', '1995', '', 12, 1)
header = bytearray(128)
name = b'song.mp3'
header[1] = len(name)
header[2:2 + len(name)] = name
header[65:69] = b'MPG3'
header[69:73] = b'TVOD'
header[83:87] = struct.pack('>I', len(fork))
header[87:91] = struct.pack('>I', 0)
write('macbinary.mp3', bytes(header) + fork)

write('lyrics3v2.mp3', AUDIO + lyrics3v2([
    (b'IND', b'10'),
    (b'LYR', b'First line\r\nSecond line'),
    (b'ETT', b'Lyrics Title That Is Longer'),
    (b'EAR', b'Lyrics Artist'),
]) + id3v1('Lyrics V1 Title', 'Lyrics V1 Artist', '', '2003', '', 255, 9))
