#!/usr/bin/env bash
# Installs what the build needs (scripts/install-deps.sh), builds the
# estimator in the developers' build folder (the dev preset, shared with
# scripts/run-tests.sh) and runs one job file the way an operator does: the
# binary and the job (as Vemtrac.cmd) side by side in one folder, with the
# service program that "vemtrac serve" hands over to, so that the folder
# runs every form. Prints the console output and the status file
# Vemtrac.sts.
#
# Usage: scripts/run-example.sh [job file]   (default: examples/vector_job.cmd)
set -eu
if [ $# -gt 0 ]; then
    [ -f "$1" ] || { echo "run-example: no job file $1" >&2; exit 2; }
    job=$(realpath "$1")
fi
cd "$(dirname "$0")/.."
job="${job:-examples/vector_job.cmd}"

scripts/install-deps.sh
echo "--- building vemtrac in build/ (a few minutes the first time)"
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$(nproc)" --target vemtrac vemtrac-serve >/dev/null

run_dir=build/run
rm -rf "$run_dir"
mkdir -p "$run_dir"
cp build/vemtrac build/vemtrac-serve "$run_dir/"
cp "$job" "$run_dir/Vemtrac.cmd"

echo "--- console ($job)"
"$run_dir/vemtrac" | tr -d '\r'
echo "--- $run_dir/Vemtrac.sts"
tr -d '\r' <"$run_dir/Vemtrac.sts"
