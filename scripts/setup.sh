#!/usr/bin/env bash
# Installs what Qarvenda needs from Debian's packages (only what is missing)
# and builds it into build/. Safe to run again; quick when all is there.
#   --fuzz      also install clang and its fuzzer and sanitizer runtimes
#   --no-build  install only
set -euo pipefail
cd "$(dirname "$0")/.."
build=1
fuzz=0
for arg in "$@"; do
  case "$arg" in
    --fuzz) fuzz=1 ;;
    --no-build) build=0 ;;
    *) echo "setup.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done

PACKAGES=(
  build-essential cmake pkg-config git
  qt6-base-dev qt6-svg-dev libqt6svg6 qt6-translations-l10n qt6-qpa-plugins
  zlib1g-dev libdeflate-dev libicu-dev libxlsxwriter-dev unicode-data opencc
  libgtest-dev googletest
  fonts-arphic-uming fonts-arphic-ukai fonts-wqy-microhei fontconfig
  xvfb xauth poppler-utils python3-openpyxl
  desktop-file-utils appstream xdg-user-dirs bsdutils
  file dpkg-dev
)
# The fuzz targets (scripts/fuzz.sh): clang with libFuzzer and the sanitizers.
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
[ "$fuzz" -eq 0 ] || PACKAGES+=("${FUZZ_PACKAGES[@]}")

SUDO=()
[ "$(id -u)" -eq 0 ] || SUDO=(sudo)
missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
# apt-get, waiting while another program (an automatic update, say) holds the
# package manager's lock instead of failing at once.
apt_get() {
  local out tries=0
  while :; do
    if out=$("${SUDO[@]}" apt-get -o DPkg::Lock::Timeout=60 "$@" 2>&1); then
      return 0
    fi
    if grep -qiE 'could not get lock|unable to (acquire|lock)' <<<"$out" && [ $tries -lt 60 ]; then
      [ $tries -gt 0 ] || echo "qarvenda: waiting for the package manager (another program holds its lock)..."
      tries=$((tries + 1))
      sleep 10
      continue
    fi
    printf '%s\n' "$out" >&2
    return 1
  done
}
if [ ${#missing[@]} -gt 0 ]; then
  echo "qarvenda: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt_get update -qq
  apt_get install -y -qq --no-install-recommends "${missing[@]}"
fi

[ "$build" -eq 1 ] || exit 0
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
