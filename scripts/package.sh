#!/usr/bin/env bash
# Installs what building the package needs, builds the player without tests,
# fuzz targets or benchmarks in build-package/, and makes the Debian package
# build-package/package/tappoplayer_<version>_<architecture>.deb; lintian
# checks it where it is installed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh" --package
build="$root/build-package"
# Debian's hardening flags, as packages built with dpkg-buildpackage get them:
# stack protector, fortified libc calls, a read-only GOT.
cd "$root"
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DTAPPO_BENCHMARKS=OFF \
  -DTAPPO_FUZZ=OFF -DTAPPO_SANITIZE=OFF -DTAPPO_WERROR=OFF \
  -DCMAKE_CXX_FLAGS="$CXXFLAGS $CPPFLAGS" -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" > /dev/null
rm -f "$build"/package/tappoplayer_*.deb
cmake --build "$build" -j "$(nproc)" --target package
deb=$(ls "$build"/package/tappoplayer_*.deb)
if command -v lintian > /dev/null; then
  lintian --allow-root "$deb"
fi
echo "Package: $deb"
echo "Install it with: sudo apt install $deb"
