#!/bin/bash
# Timing oracle for the standard reading: installs the npm "bms" parser
# (bms@51, MIT) into a temporary folder and compares every object's time on
# generated charts (tests/standard_oracle.js). Exit 77 (skipped) without node,
# npm or the registry.
#   bash tests/standard_oracle.sh PLAYER   (PLAYER: build-test/program/tappoplayer, run as
#                                          PLAYER --standard --inspect CHART)
set -u
tool=${1:?usage: standard_oracle.sh PLAYER}
. "$(dirname "$0")/npm_oracle.sh"
install_oracle bms@51
run_oracle standard_oracle.js "$tool"
