#!/usr/bin/env bash
# Installs what the player needs on Debian 12.
#   install-deps.sh --play   only what building and playing need
#   install-deps.sh --package that and what making the Debian package needs
#   install-deps.sh          that and everything the tests use: GoogleTest and
#                            Google Benchmark, Xvfb and xdotool for the window
#                            tests, clang and its runtime libraries for the fuzz
#                            targets, clang-format and clang-tidy for the checks
#                            that the sources follow .clang-format and pass
#                            .clang-tidy, and the desktop tools the
#                            install test checks the menu entry and file types with,
#                            the ffmpeg tool the video tests make their videos with,
#                            the sqlite3 tool the song database test reads with,
#                            python3 for the difficulty table test's web server,
#                            and what the package tests use: dpkg-dev (dpkg-shlibdeps
#                            finds the package's dependencies), lintian, appstream
#                            (appstreamcli), groff, bash-completion and zsh
set -euo pipefail
play=(
  g++ cmake make pkg-config gettext
  libsdl2-dev libsdl2-ttf-dev libfontconfig-dev libx11-dev libasound2-dev fonts-ipafont-mincho
  libjpeg-dev libpng-dev libfluidsynth-dev libsndfile1-dev libsimdjson-dev
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
  libsqlite3-dev libssl-dev libcurl4-openssl-dev librubberband-dev
)
package=(dpkg-dev)
test=(
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool imagemagick
  clang libclang-rt-14-dev clang-format clang-tidy
  desktop-file-utils xdg-utils shared-mime-info libglib2.0-bin
  ffmpeg sqlite3 python3
  "${package[@]}" lintian appstream groff man-db bash-completion zsh
)
case "${1:-}" in
  --play) packages=("${play[@]}"); what="build and play" ;;
  --package) packages=("${play[@]}" "${package[@]}"); what="build the package" ;;
  "") packages=("${play[@]}" "${test[@]}"); what="build, play and test" ;;
  *) echo "usage: $0 [--play|--package]" >&2; exit 2 ;;
esac
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "All dependencies to $what are installed."
  exit 0
fi
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
