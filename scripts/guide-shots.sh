#!/usr/bin/env bash
# Takes the user guide's pictures (doc/guide/images/*.png) from the window on a
# copy of the bundled database, on a virtual display. Run after changing what
# the pictures show, look at them, and commit them.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
bash scripts/setup.sh --no-build
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target qv-guideshots bundled_db
xvfb-run -a -s "-screen 0 1280x800x24" build/qv-guideshots build/kvrn.dat doc/guide/images
