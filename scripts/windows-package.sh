#!/usr/bin/env bash
# Builds the Windows package (the windows preset: the MinGW-w64 cross build
# in build-win, then cpack) and checks it as an operator gets it:
#   - the zip holds vemtrac.exe, the README and the example jobs;
#   - under Wine, the unpacked .exe gives the example's known estimate in
#     the report and in the machine's own mode (Vemtrac.cmd beside it);
#   - without a job and without a console of its own (as a driver or a
#     shell starts it), it ends at once with exit code 0 and waits for no
#     key.
#
# Usage: scripts/windows-package.sh
set -eu
cd "$(dirname "$0")/.."
build=build-win

scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)" --target vemtrac
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name="vemtrac-$version-win64"
rm -f "$build/$name.zip"
(cd "$build" && cpack >/dev/null)
echo "windows-package: $build/$name.zip"

fail() {
    echo "windows-package: $*" >&2
    exit 1
}

unpacked="$build/unpacked"
rm -rf "$unpacked"
mkdir -p "$unpacked"
(cd "$unpacked" && cmake -E tar xf "../$name.zip")
dir="$unpacked/$name"
for file in vemtrac.exe README.md examples/vector_job.cmd examples/raster_job.cmd \
    examples/mixed_job.cmd; do
    [ -f "$dir/$file" ] || fail "$name.zip lacks $file"
done

. scripts/wine_prefix.sh
wine_find
[ -n "$wine_cmd" ] || fail "Wine is not installed"
wine_shared_prefix "$build/wineboot.log" || {
    cat "$build/wineboot.log" >&2
    fail "wineboot failed"
}

report=$(cd "$dir" && "$wine_cmd" vemtrac.exe --report examples\\vector_job.cmd </dev/null |
    tr -d '\r')
echo "$report" | grep -q "Estimate    0:00:57  (57809 ms" ||
    fail "unexpected report:"$'\n'"$report"

cp "$dir/examples/vector_job.cmd" "$dir/Vemtrac.cmd"
(cd "$dir" && "$wine_cmd" vemtrac.exe </dev/null >/dev/null)
status=$(tr -d '\r' <"$dir/Vemtrac.sts")
[ "$(echo "$status" | sed -n 3p)" = 57809 ] || fail "unexpected status file:"$'\n'"$status"
echo "windows-package: the unpacked vemtrac.exe gives 57809 ms under Wine"

# No job: the machine's mode says so on standard error and ends with 0,
# without a word to the operator or a wait for a key, since its input and
# output are not a console of its own.
rm -f "$dir/Vemtrac.cmd" "$dir/Vemtrac.sts"
rc=0
(cd "$dir" && timeout 60 "$wine_cmd" vemtrac.exe </dev/null >../no-job.out 2>/dev/null) || rc=$?
out=$(tr -d '\r' <"$unpacked/no-job.out")
[ "$rc" -eq 0 ] || fail "without a job, exit code $rc"
[ "$(echo "$out" | head -n 1)" = "Start job working time calculating...." ] &&
    ! echo "$out" | grep -q "Press any key" ||
    fail "without a job, unexpected standard output:"$'\n'"$out"
echo "windows-package: without a job, the unpacked vemtrac.exe ends at once"
