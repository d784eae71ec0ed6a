#!/usr/bin/env bash
# The software-centre metadata validates and agrees with the rest of the
# program: the chart types of the menu entry, the screenshots the build draws,
# the release being built.
#   metainfo_test.sh DESKTOP_FOLDER SCREENSHOT_FOLDER RELEASE
set -u
desktop="$1"
shots="$2"
release="$3"
metainfo="$desktop/io.github.tappoplayer.TappoPlayer.metainfo.xml"
fail=0
check() { if [ "$2" -eq 0 ]; then echo "ok - $1"; else echo "FAILED - $1"; fail=1; fi; }

grep -q "<launchable type=\"desktop-id\">tappoplayer.desktop</launchable>" "$metainfo"
check "it launches the menu entry" $?
diff <(grep -o '<mediatype>[^<]*' "$metainfo" | sed 's/<mediatype>//' | sort) \
     <(sed -n 's/^MimeType=//p' "$desktop/tappoplayer.desktop" | tr ';' '\n' | grep . | sort)
check "it names the chart types the menu entry opens" $?
newest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n 1 | cut -d'"' -f2)
[ "$newest" = "$release" ]
check "its newest release is the one built ($release), with its notes" $?
grep -o '<image[^>]*>[^<]*' "$metainfo" | sed 's/.*>//' > "${TMPDIR:-/tmp}/metainfo-images.$$"
[ -s "${TMPDIR:-/tmp}/metainfo-images.$$" ]
check "it shows screenshots" $?
while read -r url; do
  [ -s "$shots/$(basename "$url")" ]
  check "the build drew $(basename "$url")" $?
done < "${TMPDIR:-/tmp}/metainfo-images.$$"
rm -f "${TMPDIR:-/tmp}/metainfo-images.$$"

if ! command -v appstreamcli > /dev/null; then
  echo "skipped - appstreamcli is not installed"
  exit 77
fi
appstreamcli validate --no-net "$metainfo"
check "appstreamcli validates it" $?
exit $fail
