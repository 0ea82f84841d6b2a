#!/usr/bin/env bash
# Builds the Debian package: build/package/qarvenda_<version>_<arch>.deb, made
# by CPack from the programs in build/ (only those are built, not the tests).
# Install it with:  sudo apt-get install ./build/package/qarvenda_*.deb
# Prints the package's path as its last line.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
bash scripts/setup.sh --no-build
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target qarvenda qarvenda-cli bundled_db icon_pngs user_guide
rm -rf build/package
(cd build && cpack -G DEB -B "$here/build/package" >/dev/null)
ls "$here"/build/package/qarvenda_*.deb
