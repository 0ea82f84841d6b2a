#!/usr/bin/env bash
# Installs what Qarvenda needs from Debian's packages (only what is missing)
# and builds it into build/. Safe to run again; quick when all is there.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  build-essential cmake pkg-config git
  qt6-base-dev qt6-svg-dev libqt6svg6 qt6-translations-l10n qt6-qpa-plugins
  zlib1g-dev libdeflate-dev libicu-dev libxlsxwriter-dev
  libgtest-dev googletest
  fonts-arphic-uming fonts-arphic-ukai fonts-wqy-microhei fontconfig
  xvfb xauth poppler-utils python3-openpyxl
  desktop-file-utils appstream xdg-user-dirs bsdutils
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "qarvenda: installing ${missing[*]}"
  SUDO=()
  [ "$(id -u)" -eq 0 ] || SUDO=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${SUDO[@]}" apt-get update -qq
  "${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
