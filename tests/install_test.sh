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
         share/applications/tappoplayer.desktop share/icons/hicolor/scalable/apps/tappoplayer.svg; do
  [ -e "$p/$f" ]
  check "installed $f" $?
done
[ -x "$p/bin/tappoplayer" ]
check "the launcher is executable" $?
grep -q '^Exec=tappoplayer' "$p/share/applications/tappoplayer.desktop"
check "the menu entry starts the launcher" $?

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
