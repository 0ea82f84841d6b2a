#!/bin/sh
# Builds the benchmarks in Release (build-bench/) and runs them; arguments go
# to qv-bench (see bench/bench.cpp), e.g. --names varied --reps 3.
# qv-bench measures the core (file, compression, listing, search); qv-bench-ui
# the same listing and search through the main window and its list model.
set -e
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench -j2 --target qv-bench qv-bench-ui
./build-bench/qv-bench "$@"
QT_QPA_PLATFORM=offscreen ./build-bench/qv-bench-ui
