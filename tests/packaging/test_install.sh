#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop needs is there and valid;
# then makes the Debian package, checks it with lintian, unpacks it and runs the command line from
# the unpacked tree.
#   test_install.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
id=org.quorvin.AudioTools
for f in bin/quorvin-audio-tools bin/quorvin \
  share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
  share/icons/hicolor/scalable/apps/$id.svg share/icons/hicolor/48x48/apps/$id.png \
  share/icons/hicolor/256x256/apps/$id.png \
  share/man/man1/quorvin-audio-tools.1.gz share/man/man1/quorvin.1.gz \
  share/doc/quorvin-audio-tools/copyright share/doc/quorvin-audio-tools/changelog.Debian.gz; do
  [ -e "$work/prefix/$f" ] || fail "cmake --install did not install $f"
done
desktop-file-validate "$work/prefix/share/applications/$id.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$work/prefix/share/metainfo/$id.metainfo.xml" >/dev/null \
  || fail "metainfo"
for page in quorvin-audio-tools quorvin; do
  MANWIDTH=80 man -l "$work/prefix/share/man/man1/$page.1.gz" 2>&1 >/dev/null | grep . \
    && fail "man page $page has warnings"
done

(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/pkg" >/dev/null)
deb=$(ls "$work"/pkg/*.deb) || fail "no .deb made"
# What Debian's own check finds: no errors (warnings are shown, not failed on).
lintian --fail-on error "$deb" >"$work/lintian.txt" 2>&1 \
  || { cat "$work/lintian.txt" >&2; fail "lintian found errors"; }
grep -q . "$work/lintian.txt" && sed 's/^/lintian: /' "$work/lintian.txt"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libaubio libavcodec libavformat; do  # linked, and opened when needed
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib"
done
dpkg-deb -x "$deb" "$work/unpacked"
out=$("$work/unpacked/usr/bin/quorvin" --version)
[ "$out" = "quorvin $version" ] || fail "unpacked quorvin --version said '$out'"
echo "installed, validated and packaged: $(basename "$deb")"
