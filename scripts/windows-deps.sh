#!/usr/bin/env bash
# The Windows build's own libraries: cpp-httplib, for vemtrac serve in
# vemtrac.exe, and pugixml, libspng and libjpeg-turbo, for the design
# import.
#
# Debian's libcpp-httplib-dev is a compiled Linux library: its httplib.h
# declares what its libcpp-httplib.so defines, so a cross build cannot use
# it; the design import's libraries are compiled Linux libraries too. This
# fetches Debian's source packages of the same libraries with apt-get
# source (from the Debian sources the system's apt already uses, with a
# list and cache of its own: the system's apt setup is left alone), unpacks
# them with their Debian patches, and installs each with its own CMake build
# for MinGW-w64 into PREFIX, where the windows preset finds them:
# cpp-httplib header-only (no TLS, no compression), the others as static
# libraries (libspng over the zlib of Debian's libz-mingw-w64-dev, its own
# build making an unused DLL beside it; libjpeg-turbo without its
# assembly). Each library's licence goes to
# share/doc/<name>/LICENSE, and so does that of the zlib libspng links
# (from Debian's libz-mingw-w64-dev): the program that carries them carries
# their notices. libjpeg-turbo's is its LICENSE.md and the IJG licence of
# its README.ijg; libspng's is Debian's copyright file, which adds the
# libpng licence of the code spng.c takes from libpng. Does nothing when
# PREFIX already holds them all.
#
# Usage: scripts/windows-deps.sh [PREFIX]   (default build-win/deps)
set -eu
cd "$(dirname "$0")/.."
root=$PWD
prefix=$(realpath -m "${1:-build-win/deps}")
have_all() {
    [ -f "$prefix/lib/cmake/httplib/httplibConfig.cmake" ] &&
        [ -f "$prefix/share/doc/cpp-httplib/LICENSE" ] &&
        for name in pugixml libspng libjpeg-turbo zlib; do
            [ -f "$prefix/share/doc/$name/LICENSE" ] || return 1
        done &&
        grep -q "LEGAL ISSUES" "$prefix/share/doc/libjpeg-turbo/LICENSE" &&
        grep -q "libpng-2.0" "$prefix/share/doc/libspng/LICENSE"
}
have_all && exit 0

work="$prefix.work"
rm -rf "$work"
mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/parts"

# The system's Debian entries, as source entries: deb822 stanzas and
# one-line entries whose key is Debian's archive key, or that name a
# Debian archive.
/usr/bin/python3 - "$work" <<'EOF'
import glob, os, re, sys
work = sys.argv[1]
debian = re.compile(r"debian-archive-keyring|/debian(-security)?/?(\s|$)")
stanzas, lines = [], []
for path in sorted(glob.glob("/etc/apt/sources.list.d/*.sources")):
    for stanza in re.split(r"\n\s*\n", open(path).read()):
        fields = [l for l in stanza.splitlines() if not l.lstrip().startswith("#")]
        text = "\n".join(fields)
        if re.search(r"^Types:.*\bdeb\b", text, re.M) and debian.search(text) \
                and not re.search(r"^Enabled:\s*no", text, re.M | re.I):
            stanzas.append(re.sub(r"^Types:.*$", "Types: deb-src", text, flags=re.M))
for path in ["/etc/apt/sources.list"] + sorted(glob.glob("/etc/apt/sources.list.d/*.list")):
    if os.path.exists(path):
        for line in open(path):
            if line.startswith("deb ") and debian.search(line):
                lines.append("deb-src " + line[4:].strip())
if not stanzas and not lines:
    sys.exit("windows-deps: no Debian entry in the system's apt sources")
open(os.path.join(work, "parts", "debian.sources"), "w").write("\n\n".join(stanzas) + "\n")
open(os.path.join(work, "sources.list"), "w").write("\n".join(lines) + "\n")
EOF

apt=(apt-get -q -o "Dir::Etc::SourceList=$work/sources.list"
    -o "Dir::Etc::SourceParts=$work/parts" -o "Dir::State::Lists=$work/lists"
    -o "Dir::Cache=$work/cache")
"${apt[@]}" update >"$work/apt-update.log" 2>&1 || {
    cat "$work/apt-update.log" >&2
    echo "windows-deps: apt-get update of the source lists failed" >&2
    exit 1
}

# Downloads and unpacks a source package into $work/NAME.
fetch_source() {
    (cd "$work" && "${apt[@]}" source --download-only "$1" >"apt-source-$1.log" 2>&1) || {
        cat "$work/apt-source-$1.log" >&2
        echo "windows-deps: apt-get source $1 failed" >&2
        exit 1
    }
    (cd "$work" && dpkg-source -x ./"$1"_*.dsc "$1" >"dpkg-source-$1.log" 2>&1) || {
        cat "$work/dpkg-source-$1.log" >&2
        echo "windows-deps: dpkg-source could not unpack $1" >&2
        exit 1
    }
}

# Builds and installs an unpacked source package with CMake for MinGW-w64,
# and its licence: the files of licence_files (blank-separated), one after
# the other.
build_source() {
    local name=$1 licence_files=$2
    shift 2
    cmake -S "$work/$name" -B "$work/build-$name" \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release "$@" \
        >"$work/cmake-$name.log" 2>&1 &&
        cmake --build "$work/build-$name" -j2 >>"$work/cmake-$name.log" 2>&1 &&
        cmake --install "$work/build-$name" >>"$work/cmake-$name.log" 2>&1 || {
        cat "$work/cmake-$name.log" >&2
        echo "windows-deps: $name's build for MinGW-w64 failed" >&2
        exit 1
    }
    local file
    mkdir -p "$prefix/share/doc/$name"
    for file in $licence_files; do
        cat "$work/$name/$file"
        echo
    done >"$prefix/share/doc/$name/LICENSE"
}

fetch_source cpp-httplib
build_source cpp-httplib LICENSE -DHTTPLIB_COMPILE=OFF \
    -DHTTPLIB_USE_OPENSSL_IF_AVAILABLE=OFF -DHTTPLIB_USE_ZLIB_IF_AVAILABLE=OFF \
    -DHTTPLIB_USE_BROTLI_IF_AVAILABLE=OFF
fetch_source pugixml
build_source pugixml LICENSE.md -DBUILD_SHARED_LIBS=OFF -DPUGIXML_BUILD_TESTS=OFF
fetch_source libspng
build_source libspng debian/copyright -DSPNG_SHARED=ON -DSPNG_STATIC=ON -DBUILD_EXAMPLES=OFF \
    -DENABLE_OPT=OFF
fetch_source libjpeg-turbo
build_source libjpeg-turbo "LICENSE.md README.ijg" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
    -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF
# The zlib libspng links is the MinGW-w64 sysroot's, from Debian's
# libz-mingw-w64-dev: its notice is the package's copyright file.
install -D -m 644 /usr/share/doc/libz-mingw-w64-dev/copyright "$prefix/share/doc/zlib/LICENSE"

version=$(sed -n 's/^#define CPPHTTPLIB_VERSION "\(.*\)"/\1/p' "$prefix/include/httplib.h")
rm -rf "$work"
echo "windows-deps: cpp-httplib $version, pugixml, libspng and libjpeg-turbo for MinGW-w64 in $prefix, with zlib's notice"
