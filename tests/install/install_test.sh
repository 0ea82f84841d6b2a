#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what lands there the
# way desktops and software centres read it.
#   install_test.sh CMAKE BUILD_DIR
set -euo pipefail
cmake_bin=$1
build=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

"$cmake_bin" --install "$build" --prefix "$prefix" >/dev/null
share=$prefix/share
desktop=$share/applications/io.github.qarvenda.qarvenda.desktop
metainfo=$share/metainfo/io.github.qarvenda.qarvenda.metainfo.xml
fail=0
bad() { echo "FAIL: $*"; fail=1; }

[ -x "$prefix/bin/qarvenda" ] || bad "program not installed"
version=$("$prefix/bin/qarvenda" --version 2>/dev/null || true)
[ "$version" = "Qarvenda 2.5.0.0" ] || bad "installed program says '$version'"

# The command-line program: no widget or display library, and a manual page
# that covers every option its help lists.
cli=$prefix/bin/qarvenda-cli
man1=$share/man/man1/qarvenda-cli.1.gz
[ "$("$cli" --version 2>/dev/null || true)" = "qarvenda-cli 2.5.0.0" ] || bad "qarvenda-cli not installed or wrong version"
! ldd "$cli" | grep -q 'libQt6\(Gui\|Widgets\)' || bad "qarvenda-cli links a GUI library"
if [ -f "$man1" ]; then
  for option in $("$cli" --help | grep -o -- '--[a-z-]*[a-z]' | sort -u); do
    zgrep -q -- "$(printf '%s' "$option" | sed 's/-/\\\\-/g')" "$man1" || bad "$man1 does not describe $option"
  done
else
  bad "missing $man1"
fi
grep -q 'complete -F _qarvenda_cli qarvenda-cli' "$share/bash-completion/completions/qarvenda-cli" ||
  bad "no bash completion for qarvenda-cli"

desktop-file-validate "$desktop" || bad "desktop-file-validate $desktop"
# With its network checks: every address it carries must lead somewhere.
appstreamcli validate "$metainfo" || bad "appstreamcli validate $metainfo"
! grep -q 'example\.\(org\|com\|net\)' "$metainfo" "$desktop" || bad "a made-up address is installed"

# The bundled database, its notes, the user guide with every page and picture
# its pages link to, and the program's own manual page.
cmp -s "$build/kvrn.dat" "$share/qarvenda/kvrn.dat" || bad "bundled database not installed as share/qarvenda/kvrn.dat"
for f in NOTICE LICENSE copyright changelog.Debian.gz data-sources.md guide/index.html guide/problems.html; do
  [ -s "$share/doc/qarvenda/$f" ] || bad "missing share/doc/qarvenda/$f"
done
for page in "$share"/doc/qarvenda/guide/*.html; do
  for target in $(grep -o '\(href\|src\)="[^"#:]*' "$page" | sed 's/^[a-z]*="//' | sort -u); do
    [ -e "$(dirname "$page")/$target" ] || bad "$(basename "$page") links to missing $target"
  done
done
gzip -t "$share/man/man1/qarvenda.1.gz" || bad "missing or broken share/man/man1/qarvenda.1.gz"
# The copyright file in Debian's machine-readable form, pointing at the
# system's copy of the Apache licence rather than carrying it.
head -1 "$share/doc/qarvenda/copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  bad "copyright is not in the machine-readable format"
grep -q '/usr/share/common-licenses/Apache-2.0' "$share/doc/qarvenda/copyright" || bad "copyright does not point at common-licenses"
! grep -q 'TERMS AND CONDITIONS FOR USE' "$share/doc/qarvenda/copyright" || bad "copyright carries the full Apache licence"

# The entry starts the installed program and names the installed icon.
exec_value=$(sed -n 's/^Exec=//p' "$desktop")
icon_value=$(sed -n 's/^Icon=//p' "$desktop")
[ -x "$prefix/bin/$exec_value" ] || bad "Exec=$exec_value is not the installed program"
[ "$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")" = "$(basename "$desktop")" ] ||
  bad "metainfo launchable does not name $(basename "$desktop")"

icons=$share/icons/hicolor
grep -q '<svg' "$icons/scalable/apps/$icon_value.svg" || bad "no scalable icon $icon_value.svg"
for size in 16 22 24 32 48 64 128 256; do
  png=$icons/${size}x${size}/apps/$icon_value.png
  if [ ! -f "$png" ]; then bad "missing $png"; continue; fi
  # PNG signature, then the IHDR width and height as big-endian numbers.
  header=$(od -An -tx1 -N24 "$png" | tr -d ' \n')
  [ "${header:0:16}" = "89504e470d0a1a0a" ] || bad "$png is not a PNG"
  [ $((16#${header:32:8})) -eq "$size" ] && [ $((16#${header:40:8})) -eq "$size" ] ||
    bad "$png is not ${size}x${size}"
done

[ $fail -eq 0 ] && echo "installed files pass"
exit $fail
