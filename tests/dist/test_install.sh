#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop finds there: the
# programs, the gallery, the desktop entry, the metadata, the icons, the file types, the manual
# pages and the licence, and that the installed programs answer --help and --version.
# Usage: test_install.sh BUILD_DIR
set -euo pipefail
build="$1"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

id=org.example.Ombrilo
for file in bin/ombrilo bin/ombrilo-render \
    share/ombrilo/fractals/rabbit.frc share/ombrilo/paletts/ice.ptt share/ombrilo/Description.rtf \
    share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
    share/icons/hicolor/scalable/apps/$id.svg share/mime/packages/$id.xml \
    share/man/man1/ombrilo.1.gz share/man/man1/ombrilo-render.1.gz \
    share/man/ru/man1/ombrilo.1.gz share/man/ru/man1/ombrilo-render.1.gz \
    share/doc/ombrilo/LICENSE share/doc/ombrilo/copyright share/doc/ombrilo/changelog.gz; do
    [ -s "$prefix/$file" ] || fail "$file is missing"
done
for side in 16 32 48 64 128 256; do
    png="$prefix/share/icons/hicolor/${side}x${side}/apps/$id.png"
    # Width and height of a PNG are the big-endian words at bytes 16 and 20.
    size="$(od -An -tu4 --endian=big -j16 -N8 "$png" | tr -s ' ' | sed 's/^ //')"
    [ "$size" = "$side $side" ] || fail "$png is not $side x $side ($size)"
done
[ "$(ls "$prefix/share/ombrilo/fractals" | wc -l)" = "$(ls "$(dirname "$0")/../../data/fractals" | wc -l)" ] ||
    fail "the gallery of fractals is incomplete"

command -v desktop-file-validate >/dev/null || fail "desktop-file-validate is not installed"
desktop-file-validate "$prefix/share/applications/$id.desktop" | grep -v ': hint: ' && fail "desktop entry"
grep -q '^Exec=ombrilo --user-folder %f$' "$prefix/share/applications/$id.desktop" || fail "Exec line"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" > "$prefix/as.log" ||
    { cat "$prefix/as.log"; fail "metainfo"; }
grep -E '^(E|W):' "$prefix/as.log" && fail "metainfo has errors or warnings"
for page in "$prefix"/share/man/man1/*.gz "$prefix"/share/man/ru/man1/*.gz; do
    gzip -dc "$page" | grep -q '^\.SH' || fail "$page is not a manual page"
done

export QT_QPA_PLATFORM=offscreen
[ "$("$prefix/bin/ombrilo" --version | head -1)" = "Ombrilo 1.02" ] || fail "ombrilo --version"
"$prefix/bin/ombrilo" --help | grep -q -- '--user-folder' || fail "ombrilo --help"
set +e
"$prefix/bin/ombrilo" --no-such-option 2> "$prefix/err.log"
code=$?
set -e
[ "$code" = 2 ] || fail "unknown option gave exit code $code"
grep -q 'неизвестный параметр «--no-such-option»' "$prefix/err.log" || fail "unknown option message"
[ "$("$prefix/bin/ombrilo-render" --version | head -1)" = "ombrilo-render (Ombrilo) 1.02" ] ||
    fail "ombrilo-render --version"
echo "installed tree checked"
