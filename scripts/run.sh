#!/usr/bin/env bash
# Installs what is missing, builds the two programs (not the tests: see
# scripts/test.sh) and starts Qarvenda in the folder you run this from. The
# program finds its database as it always does: kvrn.dat in that folder when
# there is one, else the one in the data folder ($QARVENDA_HOME, or
# ~/.local/share/qarvenda), which gets a copy of the bundled database the
# first time.
#   --xvfb   start on a virtual display (for machines without a display)
# Other arguments go to the program (for example --db FILE).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
xvfb=0
if [ "${1:-}" = "--xvfb" ]; then
  xvfb=1
  shift
fi
bash "$here/scripts/setup.sh" --no-build
cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$here/build" -j"$(nproc)" --target qarvenda qarvenda-cli bundled_db

if [ "$xvfb" -eq 1 ]; then
  echo "qarvenda: the window runs on a virtual display (Xvfb) that is not shown anywhere;"
  echo "  it is for checking that the program starts. Stop it with Ctrl+C here"
  echo "  (or: kill $$ from another terminal)."
  exec xvfb-run -a -s "-screen 0 1280x800x24" "$here/build/qarvenda" "$@"
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "qarvenda: there is no display (DISPLAY is not set)." >&2
  echo "  Run it from a desktop session, or start it on a virtual display with:" >&2
  echo "    bash scripts/run.sh --xvfb" >&2
  exit 1
fi
exec "$here/build/qarvenda" "$@"
