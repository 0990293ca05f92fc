#!/usr/bin/env bash
# Peak resident memory of `tunelo-cli decode` on an endless input (/dev/zero) and on a 3 GB file made by
# repeating a short MP3: both stay flat (well under 64 MB), whatever the input's size.
# usage: bench/decode_memory.sh BUILD_FOLDER   (needs sox, lame and /usr/bin/time; 3 GB of free space)
set -euo pipefail
cli=$1/cli/tunelo-cli
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1; }

echo "decode /dev/zero -: $(peak "$cli" decode /dev/zero - || true) kB peak"

sox -n -r 44100 -c 2 -b 16 "$scratch/tone.wav" synth 10 sine 440
lame --quiet -b 128 -t "$scratch/tone.wav" "$scratch/tone.mp3"
python3 - "$scratch/tone.mp3" "$scratch/big.mp3" <<'PY'
import sys
piece = open(sys.argv[1], 'rb').read() * 100
with open(sys.argv[2], 'wb') as out:
    written = 0
    while written < 3 * 10**9:
        out.write(piece)
        written += len(piece)
PY
echo "decode of $(stat -c %s "$scratch/big.mp3") bytes: $(peak "$cli" decode "$scratch/big.mp3" /dev/null) kB peak"
