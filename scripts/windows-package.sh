#!/usr/bin/env bash
# Builds the Windows package (cpack in the MinGW-w64 cross build) and runs
# the .exe from the unpacked zip under Wine: the report on an example job,
# and the machine's own mode with Vemtrac.cmd beside the .exe. Fails when
# the zip lacks the .exe, the library (DLL, import library, header), the
# README or the example jobs, or when a run does
# not give the example's known estimate.
#
# Usage: scripts/windows-package.sh [build folder]   (default: build-win)
set -eu
cd "$(dirname "$0")/.."
build="${1:-build-win}"

# Compiler choices and flags in the environment are meant for the host build.
unset CC CXX CFLAGS CXXFLAGS LDFLAGS
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DVEMTRAC_TESTS=OFF -DVEMTRAC_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target vemtrac vemtrac_shared
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name="vemtrac-$version-win64"
rm -f "$build/$name.zip"
(cd "$build" && cpack >/dev/null)
echo "windows-package: $build/$name.zip"

unpacked="$build/unpacked"
rm -rf "$unpacked"
mkdir -p "$unpacked"
(cd "$unpacked" && cmake -E tar xf "../$name.zip")
dir="$unpacked/$name"
for file in vemtrac.exe libvemtrac.dll libvemtrac.dll.a vemtrac.h README.md examples/vector_job.cmd examples/raster_job.cmd \
    examples/mixed_job.cmd; do
    [ -f "$dir/$file" ] || { echo "windows-package: $name.zip lacks $file" >&2; exit 1; }
done

. scripts/wine_prefix.sh
wine_find
[ -n "$wine_cmd" ] || { echo "windows-package: Wine is not installed" >&2; exit 1; }
wine_private_prefix "$PWD/$build/wineprefix" "$build/wineboot.log" ||
    { echo "windows-package: wineboot failed" >&2; cat "$build/wineboot.log" >&2; exit 1; }

report=$(cd "$dir" && "$wine_cmd" vemtrac.exe --report examples/vector_job.cmd </dev/null | tr -d '\r')
echo "$report" | grep -q "Estimate    0:00:57  (57809 ms" ||
    { echo "windows-package: unexpected report:" >&2; echo "$report" >&2; exit 1; }
cp "$dir/examples/vector_job.cmd" "$dir/Vemtrac.cmd"
(cd "$dir" && "$wine_cmd" vemtrac.exe </dev/null >/dev/null)
status=$(tr -d '\r' <"$dir/Vemtrac.sts")
[ "$(echo "$status" | sed -n 3p)" = 57809 ] ||
    { echo "windows-package: unexpected status file:" >&2; echo "$status" >&2; exit 1; }
echo "windows-package: the unpacked vemtrac.exe gives 57809 ms under Wine"
