#!/bin/sh
# The benchmark: Qarvenda against the tools a user would otherwise reach for
# (grep, sqlite3, zlib and libdeflate alone), on synthetic databases of 10k,
# 100k, 1M and 3M places made by qv-gendb, one fifth of them in one directory.
# Prints one Markdown table; BENCHMARKS.md shows a run and explains it.
#
#   bash bench/run.sh [--reps R] [--only-long-actions|--only-search] [ENTRIES...]
#                                           e.g. bash bench/run.sh 10000 100000
#
# Builds in Release into build-bench/; the databases and the files the peers
# read go to build-bench/bench-data/. sqlite3 is installed (with apt-get)
# only when missing, for this benchmark alone.
set -eu
cd "$(dirname "$0")/.."
reps=5
sizes=""
only=""
while [ $# -gt 0 ]; do
  case "$1" in
    --reps) reps=$2; shift 2 ;;
    --only-long-actions | --only-search) only=$1; shift ;;
    *) sizes="$sizes $1"; shift ;;
  esac
done
[ -n "$sizes" ] || sizes="10000 100000 1000000 3000000"

if ! command -v sqlite3 >/dev/null 2>&1; then
  echo "bench: installing sqlite3 for the comparison" >&2
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends sqlite3 >/dev/null
fi

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench -j2 --target qv-gendb qv-bench qv-bench-ui >/dev/null

data=build-bench/bench-data
mkdir -p "$data"
files=""
for n in $sizes; do
  f="$data/kvrn-$n.dat"
  ./build-bench/qv-gendb "$f" --entries "$n" --big-dir $((n / 5)) --dirs 3000 --seed 42 >&2
  files="$files $f"
done
echo "bench: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')" >&2
# shellcheck disable=SC2086
./build-bench/qv-bench --reps "$reps" $only --tsv "$data/results.tsv" --work "$data" $files
