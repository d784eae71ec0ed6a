#!/usr/bin/env bash
# Builds the Debian package from the build folder as `--target package` does,
# into a folder of its own, and checks what it holds and declares.
#   package_test.sh BUILD PACKAGE_VERSION
set -u
build="$1"
version="$2"
for tool in dpkg-deb dpkg-shlibdeps cpack; do
  command -v "$tool" > /dev/null || { echo "skipped - $tool is not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
check() { if [ "$2" -eq 0 ]; then echo "ok - $1"; else echo "FAILED - $1"; fail=1; fi; }

(cd "$build" && cpack -G DEB -B "$work/out") > "$work/cpack.log" 2>&1
check "cpack makes the package" $?
debs=("$work"/out/tappoplayer_*.deb)
deb="${debs[0]}"
arch=$(dpkg --print-architecture)
[ "${#debs[@]}" -eq 1 ] && [ "$(basename "$deb")" = "tappoplayer_${version}_${arch}.deb" ]
check "the package is tappoplayer_${version}_${arch}.deb" $?
[ -f "$deb" ] || { cat "$work/cpack.log"; exit 1; }

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Version)" = "$version" ]
check "its version is the build's" $?
dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$work" ./usr
printed=$(bash "$work/usr/bin/tappoplayer" --version)
release="${version%%[~+]*}"
[ "$(sed 's/^Tappo Player //; s/ (.*//' <<< "$printed")" = "$release" ]
check "the packaged program prints the release the version starts with ($printed)" $?
zcat "$work/usr/share/man/man6/tappoplayer.6.gz" | grep -q "^\.TH TAPPOPLAYER 6 \"[0-9-]*\" \"$printed\""
check "the packaged manual page carries what the program prints" $?
grep -q "<release version=\"$release\"" "$work/usr/share/metainfo/"*.metainfo.xml
check "the packaged metadata has the notes of that release" $?

# Every library the program links is a dependency, found by dpkg-shlibdeps,
# and the font it draws its texts with.
depends=$(field Depends)
for package in libc6 libstdc++6 libsdl2-2.0-0 libsdl2-ttf-2.0-0 libfluidsynth3 libsndfile1 \
               libavformat libpng16-16 fonts-ipafont-mincho; do
  grep -q "\(^\|, \)$package" <<< "$depends"
  check "it depends on $package" $?
done
grep -q '(>= ' <<< "$depends"
check "library dependencies carry the versions dpkg-shlibdeps found" $?

dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|' > "$work/files"
for f in /usr/bin/tappoplayer /usr/lib/tappoplayer/tappoplayer /usr/lib/tappoplayer/tappoplay.dxg \
         /usr/lib/tappoplayer/select.bmp /usr/lib/tappoplayer/arrow.bmp /usr/lib/tappoplayer/step.wav \
         /usr/lib/tappoplayer/songs/demo1-morning-steps/morning.bms \
         /usr/share/applications/tappoplayer.desktop /usr/share/mime/packages/tappoplayer.xml \
         /usr/share/icons/hicolor/scalable/apps/tappoplayer.svg \
         /usr/share/locale/en/LC_MESSAGES/tappoplayer.mo /usr/share/man/man6/tappoplayer.6.gz \
         /usr/share/bash-completion/completions/tappoplayer /usr/share/zsh/vendor-completions/_tappoplayer \
         /usr/share/metainfo/io.github.tappoplayer.TappoPlayer.metainfo.xml \
         /usr/share/doc/tappoplayer/copyright /usr/share/doc/tappoplayer/changelog.gz; do
  grep -qx "$f" "$work/files"
  check "it holds $f" $?
done
# Nothing but the package's own files: no databases the install rules update
# (dpkg's triggers do that), no logs, caches or leftovers of a run.
! grep -v -e '^/usr/bin/tappoplayer$' -e '^/usr/lib/tappoplayer/' -e '^/usr/share/' -e '/$' "$work/files" &&
  ! grep -e 'mime\.cache' -e '/mime/text/' -e 'mimeinfo\.cache' -e 'ddsd\.debug' -e '\.tmp$' \
    -e '/lib/tappoplayer/locale' "$work/files"
check "it holds nothing else" $?
! readelf -S "$work/usr/lib/tappoplayer/tappoplayer" | grep -q -e '\.debug_' -e '\.symtab'
check "the program is stripped" $?
dpkg-deb -I "$deb" prerm | grep -q 'rm -f /usr/lib/tappoplayer/ddsd.debug'
check "removing it takes away a problem log a run as root left in the program folder" $?
[ "$(stat -c %a "$work/usr/bin/tappoplayer")" = 755 ]
check "the launcher is executable" $?

if command -v appstreamcli > /dev/null; then
  appstreamcli validate-tree --no-net "$work"
  check "the installed metadata and menu entry validate together" $?
else
  echo "skipped - appstreamcli is not installed"
fi
if command -v lintian > /dev/null; then
  lintian --allow-root "$deb" > "$work/lintian" 2>&1
  cat "$work/lintian"
  ! grep -q '^[EW]: ' "$work/lintian"
  check "lintian finds no error and no warning" $?
else
  echo "skipped - lintian is not installed"
fi
exit $fail
