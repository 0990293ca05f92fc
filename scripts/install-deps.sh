#!/usr/bin/env bash
# Installs, from Debian 12, whatever the build and the tests need and the machine lacks.
set -euo pipefail

# The oracles (mpg123, lame, sox, ffmpeg) make and check test streams, mutagen writes test tags; nothing
# links them. The wave device's tests play through a private PulseAudio daemon (pulseaudio) and record its
# null sink (parec, pactl). The desktop tests run on a session bus of their own (dbus-daemon,
# dbus-session-bus-common) and check the installed desktop entry and AppStream file (desktop-file-utils,
# appstream); screenshots are taken on xvfb with xwd.
packages=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev
          libasound2-dev libpulse-dev pkg-config qt6-base-dev python3 python3-mutagen mpg123 lame sox ffmpeg
          pulseaudio pulseaudio-utils dbus-daemon dbus-session-bus-common desktop-file-utils appstream xvfb
          x11-apps)

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
