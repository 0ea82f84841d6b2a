#!/usr/bin/env bash
# Installs, builds and starts Qarvenda. It works in its own folder
# (~/.local/share/qarvenda, or QARVENDA_HOME), never in the source tree; a
# copy of the bundled database is put there only when none is there yet.
#   --xvfb   start under xvfb-run (for machines without a display)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
bash "$here/scripts/setup.sh"

work="${QARVENDA_HOME:-${XDG_DATA_HOME:-$HOME/.local/share}/qarvenda}"
mkdir -p "$work"
if [ ! -e "$work/kvrn.dat" ] && [ -f "$here/build/kvrn.dat" ]; then
  # Copied under another name first, so an interrupted copy never looks like the user's own file.
  cp "$here/build/kvrn.dat" "$work/.kvrn.dat.new" && mv -n "$work/.kvrn.dat.new" "$work/kvrn.dat"
  echo "qarvenda: copied the bundled database to $work/kvrn.dat"
fi
cd "$work"

if [ "${1:-}" = "--xvfb" ]; then
  shift
  exec xvfb-run -a -s "-screen 0 1280x800x24" "$here/build/qarvenda" "$@"
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "qarvenda: there is no display (DISPLAY is not set)." >&2
  echo "  Run it from a desktop session, or start it on a virtual display with:" >&2
  echo "    bash scripts/run.sh --xvfb" >&2
  exit 1
fi
exec "$here/build/qarvenda" "$@"
