#!/bin/sh
# Builds the benchmarks in Release (build-bench/) and runs them; arguments go
# to qv-bench (see bench/bench.cpp), e.g. --names varied --reps 3.
set -e
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench -j2 --target qv-bench
exec ./build-bench/qv-bench "$@"
