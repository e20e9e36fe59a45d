#!/usr/bin/env bash
# Compares two builds of vemtrac on the generated benchmark jobs.
#
#   bench/compare_builds.sh OLD_BINARY NEW_BINARY [runs]
#
# Writes the jobs with vemtrac_bench --write-jobs (the one beside NEW_BINARY
# in <build>/bench/, or $VEMTRAC_BENCH_BIN), then for each job runs the two
# binaries alternately, old, new, old, new, ..., `runs` times each (default
# 5), so both see the same host noise. Each binary runs from a folder of its
# own holding the job as Vemtrac.cmd. The old build's first run must end
# with VMTC_OK and nothing on standard error; every run must give the same
# console output and the same Vemtrac.sts (but for line 4, the estimator's
# own run time) as that one; one more run of each build with
# VEMTRAC_DEBUG=ShowJobTime must give the same per-phase tick counts.
# VEMTRAC_COMPARE_JOBS="circles text" picks some of the jobs.
# VEMTRAC_OLD_REPLAY / VEMTRAC_NEW_REPLAY set VEMTRAC_REPLAY for one side:
# "bench/compare_builds.sh B B" with VEMTRAC_OLD_REPLAY=full compares the
# full replay of build B with its default run.
#
# Prints the host's process start time, then a table: job, ticks of the job,
# median wall time of the old and the new build (ms, process start to exit),
# speed-up, the speed-up with the process start taken off both sides, and
# the new build's simulated servo ticks per second. Exits 1 when any run disagrees.
# Uses only bash and coreutils.
set -euo pipefail

usage() {
    echo "usage: $0 OLD_BINARY NEW_BINARY [runs]" >&2
    exit 2
}

[[ $# -ge 2 && $# -le 3 ]] || usage
old_bin=$1
new_bin=$2
runs=${3:-5}
[[ $runs =~ ^[1-9][0-9]*$ ]] || usage
bench_bin=${VEMTRAC_BENCH_BIN:-$(dirname -- "$new_bin")/bench/vemtrac_bench}
for b in "$old_bin" "$new_bin" "$bench_bin"; do
    if [[ ! -f $b || ! -x $b ]]; then
        echo "$0: not an executable: $b" >&2
        exit 2
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/vemtrac-compare.XXXXXX")
trap 'rm -rf -- "$work"' EXIT
mkdir -- "$work/jobs" "$work/old" "$work/new"
# Copies, so that a rebuild while the script runs cannot change what is timed.
cp -- "$old_bin" "$work/old/vemtrac"
cp -- "$new_bin" "$work/new/vemtrac"
mapfile -t jobs < <("$bench_bin" --write-jobs "$work/jobs")
[[ ${#jobs[@]} -gt 0 ]] || { echo "$0: no jobs written" >&2; exit 1; }
if [[ -n ${VEMTRAC_COMPARE_JOBS:-} ]]; then
    chosen=()
    for name in $VEMTRAC_COMPARE_JOBS; do
        [[ -f $work/jobs/$name.cmd ]] || { echo "$0: no job named $name" >&2; exit 2; }
        chosen+=("$work/jobs/$name.cmd")
    done
    jobs=("${chosen[@]}")
fi

# The VEMTRAC_REPLAY value for the build in folder $1.
side_replay() {
    if [[ $1 == "$work/old" ]]; then echo "${VEMTRAC_OLD_REPLAY:-}"; else echo "${VEMTRAC_NEW_REPLAY:-}"; fi
}

# Runs the build in folder $1 once without trace categories; prints the
# wall time in microseconds.
timed_run() {
    local dir=$1 start end
    rm -f -- "$dir/Vemtrac.sts"
    start=$(date +%s%N)
    env -u VEMTRAC_DEBUG VEMTRAC_REPLAY="$(side_replay "$dir")" "$dir/vemtrac" \
        >"$dir/stdout" 2>"$dir/stderr" ||
        echo "exit status $?" >>"$dir/stderr"
    end=$(date +%s%N)
    echo $(((end - start) / 1000))
}

# Checksum of the run in folder $1: console output, standard error and the
# status file without line 4.
run_sum() {
    local dir=$1
    {
        cksum <"$dir/stdout"
        cksum <"$dir/stderr"
        if [[ -f $dir/Vemtrac.sts ]]; then
            { head -n 3 -- "$dir/Vemtrac.sts"; tail -n +5 -- "$dir/Vemtrac.sts"; } | cksum
        else
            echo "no status file"
        fi
    } | cksum
}

# Why the run in folder $1 is no good benchmark job (a status file without
# VMTC_OK, or lines on standard error); nothing when it is.
job_fault() {
    local dir=$1 first=
    [[ -f $dir/Vemtrac.sts ]] && IFS= read -r first <"$dir/Vemtrac.sts" || true
    if [[ ${first%$'\r'} != VMTC_OK ]]; then
        echo "no VMTC_OK in the status file"
    elif [[ -s $dir/stderr ]]; then
        echo "standard error: $(head -n 1 -- "$dir/stderr")"
    fi
}

# Median of the numbers given.
median() {
    local -a s
    mapfile -t s < <(printf '%s\n' "$@" | sort -n)
    local n=${#s[@]}
    if ((n % 2)); then
        echo "${s[n / 2]}"
    else
        echo $(((s[n / 2 - 1] + s[n / 2]) / 2))
    fi
}

# Prints $1 / 10^$2 with $2 decimals.
fixed() {
    local value=$1 places=$2 scale=1 i
    for ((i = 0; i < places; ++i)); do scale=$((scale * 10)); done
    printf '%d.%0*d' $((value / scale)) "$places" $((value % scale))
}

# The ticks of the job (JobTimeTick) from a ShowJobTime run in folder $1.
job_ticks() {
    local line ticks=?
    while IFS= read -r line; do
        if [[ $line =~ JobTimeTick:\ *([0-9]+) ]]; then
            ticks=${BASH_REMATCH[1]}
        fi
    done <"$1/phases"
    echo "$ticks"
}

status=0
# What starting any process costs on this host, timed the same way: the
# net columns take it off both sides, so that short jobs compare the
# estimators and not the host's process start.
base_us=()
for ((r = 0; r < 2 * runs; ++r)); do
    start=$(date +%s%N)
    env -u VEMTRAC_DEBUG true
    end=$(date +%s%N)
    base_us+=($(((end - start) / 1000)))
done
base_med=$(median "${base_us[@]}")
echo "process start on this host: $(fixed $((base_med / 100)) 1) ms (taken off both sides in the net speed-up)"
printf '%-14s %11s %12s %12s %9s %9s %14s\n' job ticks "old ms" "new ms" speed-up net "new ticks/s"
for job in "${jobs[@]}"; do
    name=$(basename -- "$job" .cmd)
    for side in old new; do
        cp -- "$job" "$work/$side/Vemtrac.cmd"
        VEMTRAC_DEBUG=ShowJobTime VEMTRAC_REPLAY="$(side_replay "$work/$side")" \
            "$work/$side/vemtrac" >"$work/$side/phases" 2>&1 ||
            echo "exit status $?" >>"$work/$side/phases"
    done
    agree=yes
    phases_old=$(cksum <"$work/old/phases")
    [[ $(cksum <"$work/new/phases") == "$phases_old" ]] || agree="the builds give other ticks per phase"

    old_us=()
    new_us=()
    reference=
    for ((r = 0; r < runs; ++r)); do
        for side in old new; do
            us=$(timed_run "$work/$side")
            sum=$(run_sum "$work/$side")
            if [[ -z $reference ]]; then
                reference=$sum
                fault=$(job_fault "$work/$side")
                [[ -z $fault ]] || agree="the job fails: $fault"
            fi
            if [[ $sum != "$reference" && $agree == yes ]]; then
                agree="$side run $((r + 1)) gives other output than the first old run"
            fi
            if [[ $side == old ]]; then old_us+=("$us"); else new_us+=("$us"); fi
        done
    done

    ticks=$(job_ticks "$work/new")
    old_med=$(median "${old_us[@]}")
    new_med=$(median "${new_us[@]}")
    ((new_med > 0)) || new_med=1
    rate=?
    [[ $ticks == "?" ]] || rate="$(fixed $((ticks * 10 / new_med)) 1) M"
    old_net=$((old_med > base_med ? old_med - base_med : 1))
    new_net=$((new_med > base_med + 100 ? new_med - base_med : 100))
    printf '%-14s %11s %12s %12s %8sx %8sx %14s\n' "$name" "$ticks" "$(fixed $((old_med / 100)) 1)" \
        "$(fixed $((new_med / 100)) 1)" "$(fixed $((old_med * 100 / new_med)) 2)" \
        "$(fixed $((old_net * 100 / new_net)) 2)" "$rate"
    if [[ $agree != yes ]]; then
        echo "  $name: $agree" >&2
        status=1
    fi
done
exit $status
