#!/usr/bin/env bash
# Builds the estimator, its tests and benchmarks, and runs every test.
#
# Usage: scripts/run-tests.sh [build folder] [extra CMake options...]
#   (default folder: build)
set -eu
cd "$(dirname "$0")/.."
build_dir="${1:-build}"
[ $# -gt 0 ] && shift

cmake -S . -B "$build_dir" "$@"
cmake --build "$build_dir" -j "$(nproc)"
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)"
