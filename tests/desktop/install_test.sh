#!/usr/bin/env bash
# Installs a build into a folder of its own and checks what a desktop needs of it: both programs, a
# desktop entry and an AppStream file that validate without errors or warnings, the icon in every size the
# theme is given, and manual pages that format without warnings.
set -euo pipefail
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
prefix=/usr
DESTDIR="$root" cmake --install "$build" --prefix "$prefix" >/dev/null
top="$root$prefix"
failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

for program in tunelo tunelo-cli; do
    [ -x "$top/bin/$program" ] || fail "bin/$program is not installed"
done
"$top/bin/tunelo" --version | grep -q "TUNELO Version" || fail "the installed tunelo does not answer --version"

entry="$top/share/applications/org.tunelo.Tunelo.desktop"
metainfo="$top/share/metainfo/org.tunelo.Tunelo.metainfo.xml"
if [ -f "$entry" ]; then
    # desktop-file-validate prints every error and warning; it must print nothing.
    report=$(desktop-file-validate "$entry" 2>&1) || true
    [ -z "$report" ] || fail "desktop-file-validate: $report"
    grep -qx 'Exec=tunelo %F' "$entry" || fail "the desktop entry does not pass files on (Exec=tunelo %F)"
    grep -qx 'MimeType=audio/mpeg;audio/x-mp3;audio/mp3;audio/x-mpegurl;audio/mpegurl;audio/x-scpls;' "$entry" ||
        fail "the desktop entry's MIME list"
    grep -qx 'Icon=org.tunelo.Tunelo' "$entry" || fail "the desktop entry's icon"
else
    fail "no desktop entry at share/applications/org.tunelo.Tunelo.desktop"
fi
if [ -f "$metainfo" ]; then
    # --strict fails on warnings as well as errors; pedantic hints (such as the upper-case letter the
    # component ID shares with the desktop entry's name) are not failures.
    appstreamcli validate --no-net --strict "$metainfo" >/tmp/tunelo-appstream.$$ 2>&1 ||
        fail "appstreamcli validate: $(cat /tmp/tunelo-appstream.$$)"
    rm -f /tmp/tunelo-appstream.$$
else
    fail "no AppStream file at share/metainfo/org.tunelo.Tunelo.metainfo.xml"
fi

[ -f "$top/share/icons/hicolor/scalable/apps/org.tunelo.Tunelo.svg" ] || fail "no scalable icon"
for size in 16 32 48 64 128 256; do
    png="$top/share/icons/hicolor/${size}x${size}/apps/org.tunelo.Tunelo.png"
    if [ ! -f "$png" ]; then
        fail "no ${size}x${size} icon"
        continue
    fi
    # Width and height are the two big-endian words at bytes 16 to 23 of a PNG.
    dimensions=$(od -An -tu1 -j16 -N8 "$png" | awk '{printf "%d %d", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
    [ "$dimensions" = "$size $size" ] || fail "the ${size}x${size} icon is $dimensions"
done

for page in tunelo tunelo-cli; do
    manual="$top/share/man/man1/$page.1"
    if [ ! -f "$manual" ]; then
        fail "no manual page $page.1"
        continue
    fi
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$manual" 2>&1 >/dev/null || true)
    [ -z "$warnings" ] || fail "man $page: $warnings"
done

if [ "$failures" -eq 0 ]; then
    echo "install: all checks passed"
fi
exit $((failures > 0))
