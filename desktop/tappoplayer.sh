#!/bin/sh
# Starts the installed player from its program folder, which holds the
# executable, its assets and the demo songs side by side.
here=$(dirname "$(readlink -f "$0")")
exec "$here/../lib/tappoplayer/tappoplayer" "$@"
