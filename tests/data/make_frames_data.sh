#!/bin/bash
# Regenerates the small MPEG audio files that the frame-listing tests walk, and for each of them the
# frame positions and sizes that ffprobe reports (NAME.packets: "offset size" per line), the oracle the
# tests compare with. Needs sox, lame, ffmpeg/ffprobe and python3. Run from anywhere.
set -euo pipefail

data=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Deterministic sources: sine sweeps (no noise generator, so every run gives the same bytes).
sox -n -r 44100 -c 2 s44.wav synth 0.5 sine 300-3000 sine 440
sox -n -r 22050 -c 2 s22.wav synth 0.5 sine 300-3000 sine 440
sox -n -r 11025 -c 1 s11.wav synth 0.5 sine 200-2000
sox -n -r 32000 -c 1 s32.wav synth 0.4 sine 500-4000
sox -n -r 44100 -c 2 s44short.wav synth 0.3 sine 300-3000 sine 440

# Layer III.
lame --quiet --noreplaygain -V 4 s44.wav "$data/l3-mpeg1-44k-vbr.mp3"
lame --quiet -p -m m -b 64 s32.wav "$data/l3-mpeg1-32k-mono-crc.mp3"
lame --quiet -b 48 s22.wav "$data/l3-mpeg2-22k.mp3"
lame --quiet -b 24 s11.wav "$data/l3-mpeg25-11k.mp3"
lame --quiet -t --freeformat -b 200 s44short.wav "$data/l3-mpeg1-freeformat.mp3"
lame --quiet --id3v2-only --tt "Frames test" --ta "TUNELO" -b 96 s44short.wav "$data/l3-id3v2.mp3"

# Layer II.
ffmpeg -v error -y -i s44.wav -c:a mp2 -b:a 128k -fflags +bitexact -f mp2 "$data/l2-mpeg1-44k.mp2"
ffmpeg -v error -y -i s22.wav -ac 1 -c:a mp2 -b:a 64k -fflags +bitexact -f mp2 "$data/l2-mpeg2-22k.mp2"

# Junk before the first frame and garbage between two frames. Neither contains a 0xFF byte, so no
# sync pattern can appear inside them.
lame --quiet -t -b 128 s44short.wav plain.mp3
python3 - "$data" <<'EOF'
import sys
data = sys.argv[1]
plain = open("plain.mp3", "rb").read()
junk = bytes((i * 37 + 11) % 255 for i in range(100))
open(f"{data}/l3-junk100.mp3", "wb").write(junk + plain)
# Frames of 128 kbit/s at 44100 Hz are 417 or 418 bytes: walk them to the end of the fifth.
pos = 0
for _ in range(5):
    pos += 417 + ((plain[pos + 2] >> 1) & 1)
garbage = bytes((i * 97 + 13) % 255 for i in range(3000))
open(f"{data}/l3-garbage3000.mp3", "wb").write(plain[:pos] + garbage + plain[pos:])
EOF

cd "$data"
for f in *.mp3 *.mp2; do
    case "$f" in
    *freeformat*) continue ;; # ffprobe does not read free format; see README.md
    esac
    ffprobe -v error -show_entries packet=pos,size -of csv=p=0:nk=0 "$f" |
        python3 -c 'import sys
for line in sys.stdin:
    f = dict(kv.split("=") for kv in line.strip().strip(",").split(",") if "=" in kv)
    if "pos" in f:
        print(f["pos"], f["size"])' >"${f%.*}.packets"
done
