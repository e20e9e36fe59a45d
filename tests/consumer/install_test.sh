#!/usr/bin/env bash
# Installs the build into a scratch prefix and builds a small C program
# against it, found by CMake's find_package (on the shared and on the static
# library, in a project of C alone) and by pkg-config; each must give the
# program's figures on every example job and on 200 generated jobs (the
# differential test's generator). The installed program's service must
# answer too: everything "vemtrac serve" needs is installed.
# usage: install_test.sh CMAKE BUILD_DIR SOURCE_DIR
set -eu
cmake=$1 build=$2 src=$3
for tool in cc pkg-config python3; do
    if ! command -v $tool >/dev/null 2>&1; then
        echo "install_and_consume: SKIP: $tool is not installed"
        exit 77
    fi
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
"$cmake" --install "$build" --prefix "$prefix" >/dev/null

# vemtrac serve from the prefix answers its health check.
"$prefix/bin/vemtrac" serve --port 0 >"$scratch/serve.out" &
serve_pid=$!
trap 'kill $serve_pid 2>/dev/null || true; rm -rf "$scratch"' EXIT
for _ in $(seq 100); do
    grep -q 'listening on' "$scratch/serve.out" && break
    sleep 0.1
done
url=$(sed -n 's/.*listening on \(http[^ ]*\)$/\1/p' "$scratch/serve.out")
if [ -z "$url" ]; then
    echo "install_and_consume: the installed vemtrac serve did not start" >&2
    exit 1
fi
python3 -c 'import sys, urllib.request
assert urllib.request.urlopen(sys.argv[1] + "healthz").read() == b"{\"status\":\"ok\"}\n"' "$url"
kill $serve_pid
libdir=$(dirname "$(find "$prefix" -name 'libvemtrac.so.1' | head -1)")
export LD_LIBRARY_PATH=$libdir

# The figures the program gives: run time in ms, ticks, complete.
mkdir "$scratch/generated"
python3 "$src/python/tests/job_generator.py" "$scratch/generated" 200
jobs=("$src"/examples/*.cmd "$scratch"/generated/*.cmd)
"$prefix/bin/vemtrac" --report --json "${jobs[@]}" 2>/dev/null |
    python3 -c 'import json,sys
for j in json.load(sys.stdin)["jobs"]: print(j["run_time_ms"], j["ticks"], int(j["complete"]))' \
    > "$scratch/expected"

"$cmake" -S "$src/tests/consumer" -B "$scratch/with-cmake" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
"$cmake" --build "$scratch/with-cmake" >/dev/null
"$scratch/with-cmake/consumer" "${jobs[@]}" > "$scratch/with-cmake.out"
diff "$scratch/expected" "$scratch/with-cmake.out"
"$scratch/with-cmake/consumer_static" "${jobs[@]}" > "$scratch/with-cmake-static.out"
diff "$scratch/expected" "$scratch/with-cmake-static.out"

export PKG_CONFIG_PATH=$libdir/pkgconfig
cc -o "$scratch/with-pkg-config" "$src/tests/consumer/consumer.c" \
    $(pkg-config --cflags --libs vemtrac)
"$scratch/with-pkg-config" "${jobs[@]}" > "$scratch/with-pkg-config.out"
diff "$scratch/expected" "$scratch/with-pkg-config.out"
echo "the C program, built three ways, gives the program's figures on ${#jobs[@]} jobs"
