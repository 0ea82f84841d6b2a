#!/usr/bin/env bash
# Builds the Debian package: build-deb/package/qarvenda_<version>-<revision>_<arch>.deb,
# made by CPack from the programs built in build-deb/ (only those, not the
# tests) with Debian's hardening flags from dpkg-buildflags.
# Install it with:  sudo apt-get install ./build-deb/package/qarvenda_*.deb
# Prints the package's path as its last line.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
bash scripts/setup.sh --no-build
# Every hardening feature (PIE, relro and bind-now, fortified functions, the
# stack protector), as a Debian package build would use them.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B build-deb -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build build-deb -j"$(nproc)" --target qarvenda qarvenda-cli bundled_db icon_pngs user_guide package_docs
rm -rf build-deb/package
(cd build-deb && cpack -G DEB -B "$here/build-deb/package" >/dev/null)
ls "$here"/build-deb/package/qarvenda_*.deb
