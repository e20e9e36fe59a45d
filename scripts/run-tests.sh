#!/usr/bin/env bash
# Installs what the build and the tests need (scripts/install-deps.sh),
# builds the estimator, its tests and benchmarks with a CMake preset and
# runs every test.
#
# Usage: scripts/run-tests.sh [preset] [extra CMake options...]
#   (default preset: dev, in the folder build; asan runs the same tests
#   with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan;
#   tsan the tests of estimates running at once with ThreadSanitizer in
#   build-tsan)
set -eu
cd "$(dirname "$0")/.."
preset="${1:-dev}"
[ $# -gt 0 ] && shift
jobs="$(nproc)"

scripts/install-deps.sh
cmake --preset "$preset" "$@"
cmake --build --preset "$preset" -j "$jobs"
ctest --preset "$preset" -j "$jobs"
