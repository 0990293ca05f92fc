#!/usr/bin/env bash
# Installs, from Debian 12, whatever the build and the tests need and the machine lacks.
set -euo pipefail

# The oracles (mpg123, lame, sox) make and check test streams; nothing links them. The wave device's
# tests play through a private PulseAudio daemon (pulseaudio) and record its null sink (parec, pactl).
packages=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev
          libasound2-dev libpulse-dev pkg-config qt6-base-dev python3 mpg123 lame sox pulseaudio pulseaudio-utils)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "installing: ${missing[*]}"
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
