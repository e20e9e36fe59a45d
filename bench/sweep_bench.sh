#!/usr/bin/env bash
# A sweep against separate runs: the same 21 values of one setting, once as
# one "vemtrac --report --sweep" (the job read once, its bytes replayed per
# value) and once as 21 runs of "vemtrac --report" on job files edited by
# hand to each value.
#
#   bench/sweep_bench.sh VEMTRAC_BINARY [repeats]
#
# Writes the generated jobs with vemtrac_bench --write-jobs (the one in
# <build>/bench/ beside the binary, or $VEMTRAC_BENCH_BIN), then sweeps
# VectorSpeed.1 over the text job (pen 1 cuts all of it; its raster speeds do
# nothing there) and RasterSpeedX over the raster photo, both 200..1000 in
# steps of 40. Each way runs `repeats` times (default 3) and the fastest
# counts. Every edited run's run time must be the sweep's for the same value:
# the script exits 1 when one differs. Prints per job: the values, the
# sweep's wall time, the 21 runs' wall time, and how many times faster the
# sweep is. Uses only bash, coreutils and sed.
set -euo pipefail

[[ $# -ge 1 && $# -le 2 ]] || { echo "usage: $0 VEMTRAC_BINARY [repeats]" >&2; exit 2; }
bin=$1
repeats=${2:-3}
bench_bin=${VEMTRAC_BENCH_BIN:-$(dirname -- "$bin")/bench/vemtrac_bench}
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
"$bench_bin" --write-jobs "$work" >/dev/null

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# The job file with the setting at one value, edited as an operator would:
# "KEY VALUE" before the first entry, every entry of KEY at VALUE (for a
# pen's speed code: start-up codes but the pen's, and the pen's code in every
# VectorSpeed entry replaced).
edit_job() {
    local job=$1 key=$2 value=$3 out=$4
    if [[ $key == VectorSpeed.* ]]; then
        local pen=${key#VectorSpeed.} codes="" p
        for p in $(seq 1 16); do codes+=" $([[ $p == "$pen" ]] && echo "$value" || echo 500)"; done
        { echo "VectorSpeed$codes"
          sed -E "s/^(VectorSpeed( +[0-9-]+){$((pen - 1))} +)[0-9-]+/\1$value/" "$job"; } >"$out"
    else
        { echo "$key $value"; sed -E "s/^$key +[0-9-]+/$key $value/" "$job"; } >"$out"
    fi
}

# Runs the sweep and the separate runs of one job; prints one table row.
bench_job() {
    local name=$1 key=$2 job=$work/$1.cmd
    local values
    values=$(seq 200 40 1000)
    local best_sweep="" best_runs="" r t0 t1 v
    for r in $(seq 1 "$repeats"); do
        t0=$(now_ms)
        "$bin" --report --json --sweep "$key=200:1000:40" "$job" >"$work/sweep.json"
        t1=$(now_ms)
        if [[ -z $best_sweep ]] || (( t1 - t0 < best_sweep )); then best_sweep=$((t1 - t0)); fi
        for v in $values; do edit_job "$job" "$key" "$v" "$work/edited_$v.cmd"; done
        t0=$(now_ms)
        for v in $values; do "$bin" --report --json "$work/edited_$v.cmd" >"$work/run_$v.json"; done
        t1=$(now_ms)
        if [[ -z $best_runs ]] || (( t1 - t0 < best_runs )); then best_runs=$((t1 - t0)); fi
    done
    local sweep_ms run_ms
    for v in $values; do
        sweep_ms=$(tr -d ' \n' <"$work/sweep.json" | grep -o "\"value\":$v,\"run_time_ms\":[0-9]*" |
                   head -1 | sed 's/.*://')
        run_ms=$(tr -d ' \n' <"$work/run_$v.json" | grep -o '"run_time_ms":[0-9]*' | head -1 |
                 sed 's/.*://')
        if [[ -z $sweep_ms || $sweep_ms != "$run_ms" ]]; then
            echo "$name $key=$v: the sweep gives '$sweep_ms' ms, the edited job '$run_ms' ms" >&2
            exit 1
        fi
    done
    local tenths=$(( best_runs * 10 / (best_sweep > 0 ? best_sweep : 1) ))
    printf '%-14s %-14s %8d %10d ms %10d ms %6d.%dx\n' "$name" "$key" 21 "$best_sweep" "$best_runs" \
        $((tenths / 10)) $((tenths % 10))
}

printf '%-14s %-14s %8s %13s %13s %9s\n' job setting values "one sweep" "21 runs" faster
bench_job text VectorSpeed.1
bench_job raster_photo RasterSpeedX
