#!/usr/bin/env bash
# Everything CI checks, one step after another, with the time each took:
#   1. the README's test command (installs, builds into build/, runs ctest);
#   2. the save-fault tests again as an unprivileged user (when run as root,
#      read-only files and folders stop nobody else);
#   3. the random-edit run against its model with a new seed each time
#      (QV_MODEL_OPS operations, 5000 unless set; a failure prints the seed);
#   4. the whole suite built with ASan and UBSan in build-asan/;
#   5. the Debian package built, checked by lintian, installed with apt-get,
#      used by a normal user in a folder without kvrn.dat (its pictures and
#      plug-ins checked), and purged (tests/install/package_test.sh);
#   6. each fuzz target for QV_FUZZ_SECONDS (60 unless set).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
jobs="$(nproc)"
timings=()
failed=0
# Runs a step to its end (stopping at its first failing command) and goes on
# with the next one either way; the script fails when any step failed.
step() {
  local name="$1" start=$SECONDS rc
  shift
  echo "==== $name"
  set +e
  (set -e; "$@")
  rc=$?
  set -e
  [ $rc -eq 0 ] || failed=1
  timings+=("$(printf '%-44s %5ds %s' "$name" $((SECONDS - start)) "$([ $rc -eq 0 ] && echo ok || echo FAILED)")")
}

unprivileged() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "not root: step 1 ran them unprivileged already"
    return
  fi
  # A folder of its own that the user can reach, wherever the checkout lies.
  local dir
  dir="$(mktemp -d)"
  chmod 755 "$dir"
  cp build/tests/database_test build/tests/hostile_file_test build/tests/save_faults_uitest "$dir/"
  local status=0
  for t in database_test hostile_file_test save_faults_uitest; do
    (cd "$dir" && runuser -u nobody -- env HOME="$dir" TMPDIR=/tmp QT_QPA_PLATFORM=offscreen "./$t") \
      >"$dir/$t.log" 2>&1 || { status=1; tail -50 "$dir/$t.log"; }
    grep -E '^\[  (PASSED|FAILED|SKIPPED) |^Totals' "$dir/$t.log" || true
  done
  # Where the workbook goes when the program's folder is read-only.
  cp build/tests/export_test "$dir/"
  (cd "$dir" && runuser -u nobody -- env HOME="$dir" TMPDIR=/tmp ./export_test --gtest_filter='WorkbookFolder*') \
    >"$dir/export_test.log" 2>&1 || { status=1; tail -50 "$dir/export_test.log"; }
  grep -E '^\[  (PASSED|FAILED|SKIPPED) ' "$dir/export_test.log" || true
  rm -rf "$dir"
  return $status
}

model() {
  QV_MODEL_OPS="${QV_MODEL_OPS:-5000}" build/tests/model_test --random-seed | grep -E 'model run|Failure|rerun|PASSED|FAILED'
}

sanitized() {
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_SANITIZE=ON >/dev/null
  cmake --build build-asan -j"$jobs"
  (cd build-asan && ctest --output-on-failure -j"$jobs")
}

step "1. install, build, test (scripts/test.sh)" bash scripts/test.sh
step "2. save faults and workbook folder as an unprivileged user" unprivileged
step "3. random edits against the model" model
step "4. ASan and UBSan build and suite" sanitized
step "5. Debian package: install, use as a normal user, purge" bash tests/install/package_test.sh
step "6. fuzz targets, ${QV_FUZZ_SECONDS:-60}s each" bash scripts/fuzz.sh "${QV_FUZZ_SECONDS:-60}"
echo "==== time per step (total $((SECONDS / 60)) min $((SECONDS % 60)) s)"
for t in "${timings[@]}"; do echo "  $t"; done
exit $failed
