#!/usr/bin/env bash
# Builds a libFuzzer target over the job file (the fuzz preset: Clang, with
# AddressSanitizer and UndefinedBehaviorSanitizer, in build-fuzz) and runs it
# for a bounded time. The corpus grows in build-fuzz/corpus-<target>; the
# example jobs, every input kept in tests/fault_inputs/ and the traced job in
# fuzz/seeds/ seed it. Exits non-zero on any finding; the input that found it
# is left in build-fuzz/artifacts/.
#
# Usage: scripts/fuzz.sh [seconds] [target]
#   (defaults: 60, job_file_fuzz; replay_diff_fuzz runs every input as the
#   full replay and as the default run and fails on a difference;
#   design_fuzz reads every input as a design to import; FUZZ_CXX
#   names another Clang). The earlier form [seconds] [build folder] [target]
#   still works; the preset decides the folder.
set -eu
cd "$(dirname "$0")/.."
seconds="${1:-60}"
[ $# -ge 3 ] && shift
target="${2:-job_file_fuzz}"
build_dir=build-fuzz

scripts/install-deps.sh fuzz
cmake --preset fuzz ${FUZZ_CXX:+"-DCMAKE_CXX_COMPILER=$FUZZ_CXX"}
cmake --build --preset fuzz -j "$(nproc)" --target "$target"

# design_fuzz reads designs: its own tokens, seeded by the example designs
# and the artwork of the tests.
dict=fuzz/job_file.dict
seeds=(examples tests/fault_inputs fuzz/seeds)
if [ "$target" = design_fuzz ]; then
    dict=fuzz/design.dict
    seeds=(examples tests/data/designs)
fi

mkdir -p "$build_dir/corpus-$target" "$build_dir/artifacts"
export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
# -close_fd_mask=2: the jobs' own messages about bad entries would bury the
# fuzzer's report; sanitizer reports still come through.
exec "$build_dir/fuzz/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -close_fd_mask=2 -print_final_stats=1 -dict="$dict" -artifact_prefix="$build_dir/artifacts/" \
    "$build_dir/corpus-$target" "${seeds[@]}"
