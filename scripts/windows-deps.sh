#!/usr/bin/env bash
# The Windows build's own cpp-httplib, for vemtrac serve in vemtrac.exe.
#
# Debian's libcpp-httplib-dev is a compiled Linux library: its httplib.h
# declares what its libcpp-httplib.so defines, so a cross build cannot use
# it. This fetches Debian's source package of the same library with
# apt-get source (from the Debian sources the system's apt already uses,
# with a list and cache of its own: the system's apt setup is left alone),
# unpacks it with its Debian patches, and installs it with its own CMake
# build for MinGW-w64 as a header-only library (no TLS, no compression)
# into PREFIX, where the windows preset finds it with find_package, with
# its licence (share/doc/cpp-httplib/LICENSE: the program that carries it
# carries its notice). Does nothing when PREFIX already holds both.
#
# Usage: scripts/windows-deps.sh [PREFIX]   (default build-win/deps)
set -eu
cd "$(dirname "$0")/.."
root=$PWD
prefix=$(realpath -m "${1:-build-win/deps}")
licence="$prefix/share/doc/cpp-httplib/LICENSE"
[ -f "$prefix/lib/cmake/httplib/httplibConfig.cmake" ] && [ -f "$licence" ] && exit 0

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
(cd "$work" && "${apt[@]}" source --download-only cpp-httplib >apt-source.log 2>&1) || {
    cat "$work/apt-source.log" >&2
    echo "windows-deps: apt-get source cpp-httplib failed" >&2
    exit 1
}
(cd "$work" && dpkg-source -x ./cpp-httplib_*.dsc source >dpkg-source.log 2>&1) || {
    cat "$work/dpkg-source.log" >&2
    echo "windows-deps: dpkg-source could not unpack the source package" >&2
    exit 1
}
cmake -S "$work/source" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DHTTPLIB_COMPILE=OFF \
    -DHTTPLIB_USE_OPENSSL_IF_AVAILABLE=OFF -DHTTPLIB_USE_ZLIB_IF_AVAILABLE=OFF \
    -DHTTPLIB_USE_BROTLI_IF_AVAILABLE=OFF >"$work/cmake.log" 2>&1 &&
    cmake --install "$work/build" >>"$work/cmake.log" 2>&1 || {
    cat "$work/cmake.log" >&2
    echo "windows-deps: cpp-httplib's build for MinGW-w64 failed" >&2
    exit 1
}
install -D -m 644 "$work/source/LICENSE" "$licence"
version=$(sed -n 's/^#define CPPHTTPLIB_VERSION "\(.*\)"/\1/p' "$prefix/include/httplib.h")
rm -rf "$work"
echo "windows-deps: cpp-httplib $version for MinGW-w64 in $prefix"
