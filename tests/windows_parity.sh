#!/bin/bash
# Runs every example job through the Linux build and, under Wine, through the
# Windows build of vemtrac, and requires both to give the same results.
#
# usage: windows_parity.sh LINUX_VEMTRAC WINDOWS_VEMTRAC_EXE EXAMPLES_DIR [WORK_DIR]
#
# For each EXAMPLES_DIR/*.cmd the job is copied as Vemtrac.cmd into two fresh
# job folders, one beside a copy of each binary. Both binaries are started
# from another working directory by their full path, so each finds its job
# through argv[0]: the Linux one with a '/' path, the Windows one with a
# drive-letter path holding backslashes (Wine maps Z: to /).
#
# Compared:
#   - Vemtrac.sts byte for byte, except the number on line 4
#     ("APP Run Time <n>ms", the interpreter's wall-clock time);
#   - standard output and standard error line for line, after the Windows
#     side's text-mode "\r\n" has been turned back into "\n".
#
# WORK_DIR (default: a "parity" folder beside the .exe) holds the job
# folders. The Wine prefix is the one all checks share (scripts/wine_prefix.sh),
# created on first use.
#
# Exit status: 0 all jobs match, 1 a job differs, 2 usage error,
# 77 the MinGW-w64 cross compiler or Wine is not installed (skip).
set -eu

usage() {
    echo "usage: $0 LINUX_VEMTRAC WINDOWS_VEMTRAC_EXE EXAMPLES_DIR [WORK_DIR]" >&2
    exit 2
}

if [ $# -lt 3 ] || [ $# -gt 4 ]; then
    usage
fi

cross_cxx=x86_64-w64-mingw32-g++-posix
if ! command -v "$cross_cxx" >/dev/null 2>&1; then
    echo "windows_parity: SKIP: $cross_cxx is not installed"
    exit 77
fi
# shellcheck source=../scripts/wine_prefix.sh
. "$(dirname "$0")/../scripts/wine_prefix.sh"
wine_find
if [ -z "$wine_cmd" ]; then
    echo "windows_parity: SKIP: Wine is not installed"
    exit 77
fi

abs_path() {
    (cd "$(dirname "$1")" && printf '%s/%s\n' "$(pwd -P)" "$(basename "$1")")
}

if [ ! -f "$1" ] || [ ! -x "$1" ]; then
    echo "windows_parity: no Linux binary at $1" >&2
    exit 2
fi
if [ ! -f "$2" ]; then
    echo "windows_parity: no Windows executable at $2" >&2
    exit 2
fi
linux_bin=$(abs_path "$1")
windows_exe=$(abs_path "$2")
examples_dir=$3
work_dir=${4:-$(dirname "$windows_exe")/parity}
mkdir -p "$work_dir"
work_dir=$(cd "$work_dir" && pwd -P)

case "$work_dir" in
*\\* | *\"* | *$'\n'*)
    echo "windows_parity: the work folder $work_dir cannot be given to Wine" >&2
    exit 2
    ;;
esac

# Z:\ is the root of the Linux file system in every Wine prefix.
to_wine_path() {
    local path=$1
    printf 'Z:%s\n' "${path//\//\\}"
}

wine_shared_prefix "$work_dir/wineboot.log" || {
    echo "windows_parity: wineboot failed:" >&2
    cat "$work_dir/wineboot.log" >&2
    exit 1
}

shopt -s nullglob
jobs=()
if [ -d "$examples_dir" ]; then
    jobs=("$examples_dir"/*.cmd)
fi
if [ ${#jobs[@]} -eq 0 ]; then
    echo "windows_parity: no jobs in $examples_dir" >&2
    exit 2
fi

# The number on the wall-clock line of the status file becomes "<n>".
mask_app_time() {
    perl -pe 's/^(\r?APP Run Time )-?[0-9]+ms/${1}<n>ms/ if $. == 4' "$1"
}

# Undoes the text-mode translation of the Windows console and drops lines
# that Wine itself may print (prefix updates, debug channels).
windows_text() {
    perl -0777 -pe 's/\r\n/\n/g' "$1" |
        perl -ne 'print unless /^(wine: |[0-9a-f]{4}:(err|fixme|warn|trace):)/'
}

# Shows a difference with control characters made visible.
show_diff() {
    diff -u --label "$3 (Linux)" --label "$3 (Windows)" <(cat -A "$1") <(cat -A "$2") || true
}

jobs_root="$work_dir/jobs"
rm -rf "$jobs_root"
mkdir -p "$jobs_root"
run_from=$(mktemp -d "$work_dir/cwd.XXXXXX")

failed=0
started=$(date +%s)
for job in "${jobs[@]}"; do
    name=$(basename "$job" .cmd)
    lin="$jobs_root/$name/linux"
    win="$jobs_root/$name/windows"
    mkdir -p "$lin" "$win"
    cp "$job" "$lin/Vemtrac.cmd"
    cp "$job" "$win/Vemtrac.cmd"
    cp "$linux_bin" "$lin/vemtrac"
    cp "$windows_exe" "$win/vemtrac.exe"

    lin_rc=0
    (cd "$run_from" && "$lin/vemtrac" </dev/null >"$lin/stdout.txt" 2>"$lin/stderr.txt") || lin_rc=$?
    win_rc=0
    (cd "$run_from" && "$wine_cmd" "$(to_wine_path "$win/vemtrac.exe")" \
        </dev/null >"$win/stdout.raw" 2>"$win/stderr.raw") || win_rc=$?

    problems=()
    [ "$lin_rc" -eq 0 ] || problems+=("Linux exit status $lin_rc")
    [ "$win_rc" -eq 0 ] || problems+=("Windows exit status $win_rc")

    for side in "$lin" "$win"; do
        if [ -f "$side/Vemtrac.sts" ]; then
            mask_app_time "$side/Vemtrac.sts" >"$side/sts.masked"
        else
            : >"$side/sts.masked"
            problems+=("no Vemtrac.sts in $side")
        fi
    done
    windows_text "$win/stdout.raw" >"$win/stdout.txt"
    windows_text "$win/stderr.raw" >"$win/stderr.txt"

    cmp -s "$lin/sts.masked" "$win/sts.masked" || problems+=("Vemtrac.sts differs")
    cmp -s "$lin/stdout.txt" "$win/stdout.txt" || problems+=("standard output differs")
    cmp -s "$lin/stderr.txt" "$win/stderr.txt" || problems+=("standard error differs")

    if [ ${#problems[@]} -eq 0 ]; then
        # First and third status lines: the verdict and the run time.
        result=$(tr -d '\r' <"$lin/Vemtrac.sts" | sed -n '1p;3s/$/ ms/p' | paste -sd ' ')
        echo "match    $name: $result"
    else
        failed=1
        summary=$(printf '%s; ' "${problems[@]}")
        echo "MISMATCH $name: ${summary%; }"
        show_diff "$lin/sts.masked" "$win/sts.masked" "$name Vemtrac.sts"
        show_diff "$lin/stdout.txt" "$win/stdout.txt" "$name standard output"
        show_diff "$lin/stderr.txt" "$win/stderr.txt" "$name standard error"
    fi
done
rmdir "$run_from" 2>/dev/null || true

echo "windows_parity: ${#jobs[@]} jobs in $(($(date +%s) - started)) s, $([ $failed -eq 0 ] && echo "all match" || echo "MISMATCH")"
exit $failed
