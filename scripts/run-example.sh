#!/usr/bin/env bash
# Builds the estimator and runs one job file the way an operator does: the
# binary and the job (as Vemtrac.cmd) side by side in one folder. Prints the
# console output and the status file Vemtrac.sts.
#
# Usage: scripts/run-example.sh [job file]   (default: examples/vector_job.cmd)
set -eu
cd "$(dirname "$0")/.."
job="${1:-examples/vector_job.cmd}"

cmake -S . -B build-example -DCMAKE_BUILD_TYPE=Release -DVEMTRAC_TESTS=OFF -DVEMTRAC_BENCH=OFF >/dev/null
cmake --build build-example -j "$(nproc)" --target vemtrac >/dev/null

run_dir=build-example/run
rm -rf "$run_dir"
mkdir -p "$run_dir"
cp build-example/vemtrac "$run_dir/"
cp "$job" "$run_dir/Vemtrac.cmd"

echo "--- console ($job)"
"$run_dir/vemtrac" | tr -d '\r'
echo "--- $run_dir/Vemtrac.sts"
tr -d '\r' <"$run_dir/Vemtrac.sts"
