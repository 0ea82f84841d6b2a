#!/usr/bin/env bash
# The Debian package as a user meets it: built by scripts/package.sh,
# installed with apt-get, used by a normal user (nobody) in a folder without a
# kvrn.dat (the command-line program, which reads the bundled database and
# makes no copy, then the window started by the menu entry's Exec line on a
# virtual display, which makes the copy and whose pictures must all draw and
# whose Qt plug-ins must all come from packages it depends on), then purged;
# the user's data stays. lintian (installed when missing) must find no error.
# Needs root or sudo. Leaves the window's picture in build-deb/package/window.png.
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$here"
SUDO=()
[ "$(id -u)" -eq 0 ] || SUDO=(sudo)
fail=0
bad() { echo "FAIL: $*"; fail=1; }

deb=$(bash scripts/package.sh | tail -1)
echo "package: $deb"
dpkg-query -W -f='${Status}' lintian 2>/dev/null | grep -q 'install ok installed' ||
  "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq lintian >/dev/null
# Errors fail the test; warnings and the rest are listed.
lintian --display-level '>=info' "$deb" || true
lintian --fail-on error "$deb" >/dev/null || bad "lintian finds errors in $deb"
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null

box=$(mktemp -d)
trap '"${SUDO[@]}" rm -rf "$box"' EXIT
chmod 755 "$box"
mkdir "$box/home" "$box/work"
"${SUDO[@]}" chown nobody "$box/home"
as_user() {
  (cd "$box/work" && "${SUDO[@]}" runuser -u nobody -- env -i PATH=/usr/bin:/bin HOME="$box/home" LANG=C.UTF-8 \
    TMPDIR=/tmp "$@")
}
data=$box/home/.local/share/qarvenda/kvrn.dat

found=$(as_user qarvenda-cli find 深圳 2>&1) || bad "qarvenda-cli find 深圳: $found"
grep -q '^广东省	深圳市	0755	518000$' <<<"$found" || bad "qarvenda-cli find 深圳 did not list 深圳市: $found"
[ ! -e "$data" ] || bad "qarvenda-cli made a copy of the bundled database; it only reads"

# The menu entry, as a desktop starts it: its Exec line, in the home folder.
entry=/usr/share/applications/io.github.qarvenda.qarvenda.desktop
exec_line=$(sed -n 's/^Exec=//p' "$entry")
grep -q '^Path=' "$entry" && bad "the menu entry names a working folder"
window=$(as_user env QARVENDA_SNAPSHOT="$box/home/window.png" QT_DEBUG_PLUGINS=1 xvfb-run -a -s "-screen 0 1024x768x24" sh -c \
  "cd \"\$HOME\" && { $exec_line & pid=\$!; sleep 10; kill -0 \$pid && echo running; kill \$pid; wait \$pid; } 2>&1" || true)
# Qt's plug-in report (JSON blocks, qt.core lines) is read below, not shown.
echo "$window" | grep -v 'XDG_RUNTIME_DIR\|^qt\.\|^ \|^[{}]\|^$' || true
grep -q '^running$' <<<"$window" || bad "the window did not stay up"
dirs=$(sed -n 's/.*; \([0-9]*\) top-level directories from .*/\1/p' <<<"$window")
[ "${dirs:-0}" -gt 30 ] || bad "the window's tree shows ${dirs:-no} top-level directories"
grep -q "top-level directories from $data;" <<<"$window" || bad "the window did not open $data"
cmp -s "$data" /usr/share/qarvenda/kvrn.dat || bad "the bundled database was not copied to $data"
cmp -s "$data.bundled" /usr/share/qarvenda/kvrn.dat || bad "the bundled version was not kept beside $data"
grep -q '; pictures not drawn: none$' <<<"$window" || bad "the installed window lacks pictures"
cp "$box/home/window.png" build-deb/package/window.png 2>/dev/null || bad "no picture of the window"
# dpkg-shlibdeps sees no plug-in: each one the window loaded must come from a
# package that the package depends on.
depends=$(dpkg-query -W -f='${Depends}' qarvenda | tr ',|' '\n\n' | sed 's/^ *\([^ :]*\).*/\1/')
plugins=$(sed -n 's/^qt\.core\.library: "\(\/[^"]*\)" loaded library$/\1/p' <<<"$window" | sort -u)
[ -n "$plugins" ] || bad "no Qt plug-in reported as loaded"
for plugin in $plugins; do
  owner=$(dpkg -S "$plugin" | cut -d: -f1)
  grep -qx "$owner" <<<"$depends" || bad "$plugin comes from $owner, which qarvenda does not depend on"
done

"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq qarvenda >/dev/null
[ ! -e /usr/bin/qarvenda ] && [ ! -e /usr/share/qarvenda/kvrn.dat ] || bad "purging left the program behind"
[ -s "$data" ] || bad "purging the package took the user's database"

[ $fail -eq 0 ] && echo "the package installs, works for a normal user and leaves the user's data on removal"
exit $fail
