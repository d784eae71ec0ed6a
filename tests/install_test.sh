#!/usr/bin/env bash
# `cmake --install` into a fresh prefix: the launcher on the PATH starts the
# installed program folder, the menu entry and icon are where desktops look.
set -u
build="$1"
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
fail=0
check() { if [ "$2" -eq 0 ]; then echo "ok - $1"; else echo "FAILED - $1"; fail=1; fi; }

cmake --install "$build" --prefix "$work/prefix" > "$work/install.log" 2>&1
check "cmake --install succeeds" $?
p="$work/prefix"
for f in bin/tappoplayer lib/tappoplayer/tappoplayer lib/tappoplayer/tappoplay.dxg \
         lib/tappoplayer/songs/demo1-morning-steps/morning.bms \
         share/applications/tappoplayer.desktop share/mime/packages/tappoplayer.xml \
         share/icons/hicolor/scalable/apps/tappoplayer.svg; do
  [ -e "$p/$f" ]
  check "installed $f" $?
done
[ -x "$p/bin/tappoplayer" ]
check "the launcher is executable" $?
grep -q '^Exec=tappoplayer' "$p/share/applications/tappoplayer.desktop"
check "the menu entry starts the launcher" $?

# File managers offer the player for charts. As root the install has updated
# the databases; otherwise it said how, and the test does it.
if [ "$(id -u)" != 0 ] && command -v update-mime-database > /dev/null; then
  grep -q "update-mime-database $p/share/mime" "$work/install.log"
  check "the install says how to update the MIME database" $?
  update-mime-database "$p/share/mime" > /dev/null 2>&1
fi
if command -v desktop-file-validate > /dev/null; then
  desktop-file-validate "$p/share/applications/tappoplayer.desktop"
  check "the menu entry is a valid desktop file" $?
else
  echo "skipped - desktop-file-validate is not installed"
fi
if command -v xdg-mime > /dev/null && command -v gio > /dev/null && [ -e "$p/share/mime/mime.cache" ]; then
  printf '#TITLE x\n' > "$work/song.bme"
  echo '{}' > "$work/song.bmson"
  query() { XDG_CURRENT_DESKTOP=GNOME XDG_DATA_DIRS="$p/share:/usr/share" XDG_DATA_HOME="$work/data" \
    xdg-mime query "$@" 2> /dev/null; }
  [ "$(query filetype "$work/song.bme")" = text/x-bms ] &&
    [ "$(query filetype "$work/song.bmson")" = application/x-bmson ] &&
    [ "$(query default text/x-bms)" = tappoplayer.desktop ]
  check "charts have their MIME types and open with the player" $?
else
  echo "skipped - xdg-mime, gio or the MIME database is missing"
fi

# The installed copy is read-only, as a system-wide install is.
chmod -R a-w "$p/lib/tappoplayer"
PATH="$p/bin:$PATH" XDG_STATE_HOME="$work/state" tappoplayer --inspect \
  "$p/lib/tappoplayer/songs/demo1-morning-steps/morning.bms" > "$work/inspect" 2>&1
check "the launcher on the PATH runs the installed player" $?
grep -q '^PlayerMode' "$work/inspect"
check "the installed player compiles a demo chart" $?
PATH="$p/bin:$PATH" XDG_STATE_HOME="$work/state" tappoplayer --headless --frames 200 \
  --screenshot "150:$work/select.png" > "$work/run" 2>&1
check "the installed player shows its demo songs from a read-only folder" $?
[ -s "$work/select.png" ]
check "the select screen was drawn" $?
exit $fail
