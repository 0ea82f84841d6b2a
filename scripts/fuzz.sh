#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each for a
# while, one after another, each in one process on one core.
#   bash scripts/fuzz.sh [seconds per target, default 60] [target ...]
# The corpus of each target grows in build-fuzz/corpus/<target>/, starting
# from the seeds in fuzz/seeds/<target>/; a crashing or failing input is kept
# as build-fuzz/artifacts/<target>/crash-*, and the script then fails.
# Scratch files go to a temporary folder (on /dev/shm when there is one).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_database_file fuzz_image fuzz_import fuzz_gbk_search)

bash "$here/scripts/setup.sh" --fuzz --no-build
cd "$here"
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_FUZZ=ON \
  -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]}"

scratch_root=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch_root=/dev/shm
scratch="$(mktemp -d "$scratch_root/qv-fuzz.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

status=0
for t in "${targets[@]}"; do
  corpus="build-fuzz/corpus/$t"
  artifacts="build-fuzz/artifacts/$t"
  mkdir -p "$corpus" "$artifacts"
  echo "== $t: ${seconds}s"
  # Leaks are looked for after every input; what Qt keeps for the whole run is not one.
  if ! TMPDIR="$scratch" LSAN_OPTIONS="suppressions=$here/tests/lsan.supp:print_suppressions=0" \
       "build-fuzz/fuzz/$t" "$corpus" "fuzz/seeds/$t" -max_total_time="$seconds" \
       -max_len=65536 -rss_limit_mb=2048 -timeout=25 -print_final_stats=1 \
       -artifact_prefix="$artifacts/" >"build-fuzz/$t.log" 2>&1; then
    status=1
    echo "!! $t failed; see build-fuzz/$t.log and $artifacts/"
    tail -40 "build-fuzz/$t.log"
  fi
  grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::peak_rss_mb|stat::new_units_added)' "build-fuzz/$t.log" || true
  grep -E '^#[0-9]+' "build-fuzz/$t.log" | tail -1 || true
done
exit $status
