#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need and that
# this machine lacks: the compiler and CMake, the libraries of the program
# (CLI11, nlohmann-json, cpp-httplib, and pugixml, libspng and libjpeg of
# the design import), of the tests and benchmarks (GoogleTest, Google
# Benchmark, svgelements and ezdxf for the design import's artwork test,
# and Chromium driven from Node for the page's test), of the Python module
# and the library's install test (pybind11, python3-dev, pytest, Dask
# distributed, pkg-config), and the
# MinGW-w64 cross compiler, Wine and dpkg-dev (dpkg-source) of the Windows
# build and its checks. With "fuzz", also
# Clang and its libFuzzer runtime.
#
# Installs with apt-get when run as root, otherwise with sudo; without
# either, prints the one command to run and fails. Does nothing when
# everything is there.
#
# Usage: scripts/install-deps.sh [fuzz]
set -eu

missing=()
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
command -v g++ >/dev/null 2>&1 || missing+=(g++)
command -v make >/dev/null 2>&1 || missing+=(make)
command -v perl >/dev/null 2>&1 || missing+=(perl)
command -v flock >/dev/null 2>&1 || missing+=(util-linux)
# Argument parsing and JSON for the program's arguments and reports.
[ -f /usr/include/CLI/CLI.hpp ] || missing+=(libcli11-dev)
[ -f /usr/include/nlohmann/json.hpp ] || missing+=(nlohmann-json3-dev)
# The HTTP server of vemtrac serve.
[ -f /usr/include/httplib.h ] || missing+=(libcpp-httplib-dev)
command -v pkg-config >/dev/null 2>&1 || missing+=(pkg-config)
# The design import: XML (pugixml), PNG (libspng) and JPEG (libjpeg-turbo).
[ -f /usr/include/pugixml.hpp ] || missing+=(libpugixml-dev)
[ -f /usr/include/spng.h ] || missing+=(libspng-dev)
[ -f /usr/include/jpeglib.h ] || missing+=(libjpeg-dev)
# The tests and the benchmarks.
[ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
[ -f /usr/include/benchmark/benchmark.h ] || missing+=(libbenchmark-dev)
# The Python module, its tests (pytest, and a Dask cluster), and the C
# program built against the installed library with pkg-config.
[ -f /usr/include/pybind11/pybind11.h ] || missing+=(pybind11-dev)
compgen -G "/usr/include/python3*/Python.h" >/dev/null || missing+=(python3-dev)
/usr/bin/python3 -c 'import pytest' >/dev/null 2>&1 || missing+=(python3-pytest)
/usr/bin/python3 -c 'import distributed' >/dev/null 2>&1 || missing+=(python3-distributed)
command -v pkg-config >/dev/null 2>&1 || missing+=(pkg-config)
# The design import's artwork test: figures from tools we did not write.
/usr/bin/python3 -c 'import svgelements' >/dev/null 2>&1 || missing+=(python3-svgelements)
/usr/bin/python3 -c 'import ezdxf' >/dev/null 2>&1 || missing+=(python3-ezdxf)
# The page's test in a real browser: Debian's Chromium, driven from Node.
command -v chromium >/dev/null 2>&1 || missing+=(chromium)
command -v node >/dev/null 2>&1 || missing+=(nodejs)
command -v npm >/dev/null 2>&1 || missing+=(npm)
# The Windows build and the Wine runs that check it against the Linux build.
command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || missing+=(g++-mingw-w64-x86-64-posix)
# The zlib of the Windows build's libspng (scripts/windows-deps.sh).
[ -f /usr/x86_64-w64-mingw32/include/zlib.h ] || missing+=(libz-mingw-w64-dev)
# Unpacking the source package of the Windows build's cpp-httplib
# (scripts/windows-deps.sh).
command -v dpkg-source >/dev/null 2>&1 || missing+=(dpkg-dev)
command -v wine >/dev/null 2>&1 || missing+=(wine64 wine)
if [ "${1:-}" = fuzz ]; then
    # Clang and its libFuzzer runtime for the fuzz targets.
    command -v clang++ >/dev/null 2>&1 || missing+=(clang)
    compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null ||
        missing+=(libclang-rt-dev)
fi
[ ${#missing[@]} -eq 0 ] && exit 0

install="apt-get install -y --no-install-recommends ${missing[*]}"
if ! command -v apt-get >/dev/null 2>&1; then
    echo "install-deps: this is not a Debian system; install the equivalents of: ${missing[*]}" >&2
    exit 1
fi
if [ "$(id -u)" -eq 0 ]; then
    as_root=(env DEBIAN_FRONTEND=noninteractive)
elif command -v sudo >/dev/null 2>&1; then
    as_root=(sudo env DEBIAN_FRONTEND=noninteractive)
else
    echo "install-deps: missing packages; as root, run:" >&2
    echo "    apt-get update && $install" >&2
    exit 1
fi
echo "install-deps: installing ${missing[*]}"
if ! { "${as_root[@]}" apt-get update -qq &&
    "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"; }; then
    echo "install-deps: the installation failed; as root, run:" >&2
    echo "    apt-get update && $install" >&2
    exit 1
fi
