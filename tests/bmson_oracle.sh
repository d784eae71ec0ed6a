#!/bin/bash
# Timing oracle for bmson charts: installs the npm "bmson" reader (bmson@45,
# MIT, with the "bms" timing it stands on, bms@51) into a temporary folder and
# compares every sounded note's time and slice start on generated charts, and
# on charts with faults in notes and sound channels (each beside the chart as
# the player reads it; tests/bmson_oracle.js). Exit 77 (skipped) without node,
# npm or the registry.
#   bash tests/bmson_oracle.sh PLAYER      (PLAYER: build-test/program/tappoplayer, run as
#                                          PLAYER --standard --inspect CHART)
set -u
tool=${1:?usage: bmson_oracle.sh PLAYER}
. "$(dirname "$0")/npm_oracle.sh"
install_oracle bms@51 bmson@45
run_oracle bmson_oracle.js "$tool"
