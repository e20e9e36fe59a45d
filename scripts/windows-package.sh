#!/usr/bin/env bash
# Builds the Windows package (the windows preset: the MinGW-w64 cross build
# in build-win, then cpack) and checks it as an operator gets it:
#   - the zip holds vemtrac.exe, README.txt (the operator's guide, made from
#     docs/operator-guide.md),
#     LICENSE.txt and a LICENSE-<name>.txt for each library built in (the
#     HTTP library, the design import's pugixml, libspng, libjpeg-turbo and
#     the zlib libspng links) with Windows line ends, the example
#     jobs as *.cmd.txt, the example designs, and the library beside the
#     program: vemtrac.dll,
#     its import library vemtrac.dll.a and the header vemtrac.h; nothing
#     else, and nothing that Windows runs as a script when it is
#     double-clicked;
#   - the DLL exports the C interface alone, and the program and the DLL
#     load no DLL of those libraries (they are linked in);
#   - under Wine, the unpacked .exe gives the example's known estimate in
#     the report and in the machine's own mode (Vemtrac.cmd beside it), and
#     so does a small C program built against the unpacked DLL, import
#     library and header;
#   - under Wine, the unpacked .exe estimates each example design (SVG,
#     DXF, plot file and PNG) with its known figure;
#   - under Wine, `vemtrac.exe serve --workers 2` answers requests from this
#     side: the page, an example's estimate with its known figure, its two
#     workers, and two clients at once, each with its job's figure;
#   - without a job and without a console of its own (as a driver or a
#     shell starts it), it ends at once with exit code 0 and waits for no
#     key; with a console of its own (as after a double-click), it says
#     what it needs and waits for a key.
#
# Usage: scripts/windows-package.sh
set -eu
cd "$(dirname "$0")/.."
build=build-win

scripts/install-deps.sh
scripts/windows-deps.sh "$build/deps"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)"
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
licences="LICENSE-cpp-httplib.txt LICENSE-libjpeg-turbo.txt LICENSE-libspng.txt LICENSE-pugixml.txt
LICENSE-zlib.txt LICENSE.txt"
expected="$licences README.txt examples/design_badge.png examples/design_box.plt
examples/design_bracket.dxf examples/design_tag.svg examples/mixed_job.cmd.txt
examples/raster_job.cmd.txt examples/vector_job.cmd.txt vemtrac.dll vemtrac.dll.a vemtrac.exe
vemtrac.h"
contents=$(cd "$dir" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ')
[ "$contents" = "$(echo $expected) " ] ||
    fail "$name.zip holds: $contents; expected: $(echo $expected)"
# What Windows runs when it is double-clicked, but for the program itself.
runs=$(cd "$dir" && find . -type f ! -name vemtrac.exe |
    grep -iE '\.(bat|cmd|com|exe|js|jse|lnk|msi|pif|ps1|scr|vbe|vbs|wsf|wsh)$' || true)
[ -z "$runs" ] || fail "$name.zip holds files Windows would run: $runs"
for text in README.txt $licences; do
    lf=$(tr -cd '\n' <"$dir/$text" | wc -c)
    crlf=$(grep -c $'\r$' "$dir/$text" || true)
    [ "$lf" -gt 0 ] && [ "$lf" -eq "$crlf" ] || fail "$text does not have Windows line ends"
done
grep -q "vemtrac $version" "$dir/README.txt" || fail "README.txt does not name version $version"
exports=$(x86_64-w64-mingw32-objdump -p "$dir/vemtrac.dll" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -En 's/^\s*\[ *[0-9]+\] //p')
[ -n "$exports" ] && ! echo "$exports" | grep -qv '^vemtrac_' ||
    fail "vemtrac.dll exports more than the C interface:"$'\n'"$exports"
for binary in vemtrac.exe vemtrac.dll; do
    loads=$(x86_64-w64-mingw32-objdump -p "$dir/$binary" | sed -n 's/^\s*DLL Name: //p')
    ! echo "$loads" | grep -iqE 'spng|jpeg|zlib|pugixml|stdc\+\+|gcc|winpthread' ||
        fail "$binary loads a DLL the zip does not hold:"$'\n'"$loads"
done

. scripts/wine_prefix.sh
wine_find
[ -n "$wine_cmd" ] || fail "Wine is not installed"
wine_shared_prefix "$build/wineboot.log" || {
    cat "$build/wineboot.log" >&2
    fail "wineboot failed"
}

report=$(cd "$dir" && "$wine_cmd" vemtrac.exe --report examples\\vector_job.cmd.txt </dev/null |
    tr -d '\r')
echo "$report" | grep -q "Estimate    0:00:57  (57809 ms" ||
    fail "unexpected report:"$'\n'"$report"

cp "$dir/examples/vector_job.cmd.txt" "$dir/Vemtrac.cmd"
(cd "$dir" && "$wine_cmd" vemtrac.exe </dev/null >/dev/null)
status=$(tr -d '\r' <"$dir/Vemtrac.sts")
[ "$(echo "$status" | sed -n 3p)" = 57809 ] || fail "unexpected status file:"$'\n'"$status"
echo "windows-package: the unpacked vemtrac.exe gives 57809 ms under Wine"

# The example designs, imported and estimated: the XML, PNG (with zlib)
# and the program's own readers, as built for Windows.
designs=$(cd "$dir" && "$wine_cmd" vemtrac.exe --report examples\\design_tag.svg \
    examples\\design_bracket.dxf examples\\design_box.plt examples\\design_badge.png \
    </dev/null 2>&1 | tr -d '\r')
for figure in 8455 6724 18282 32939; do
    echo "$designs" | grep -q "^  Estimate .*($figure ms," ||
        fail "unexpected report of the example designs:"$'\n'"$designs"
done
echo "windows-package: the unpacked vemtrac.exe estimates the example designs under Wine"

# A program of someone else's, built against the unpacked library alone (the
# header as <vemtrac/vemtrac.h>, the import library) and run with the DLL
# beside it.
consumer="$unpacked/consumer"
mkdir -p "$consumer/include/vemtrac"
cp "$dir/vemtrac.h" "$consumer/include/vemtrac/"
cp "$dir/vemtrac.dll" "$dir/examples/vector_job.cmd.txt" "$consumer/"
x86_64-w64-mingw32-gcc-posix -std=c11 -Wall -Werror -static-libgcc tests/consumer/consumer.c \
    -I "$consumer/include" "$dir/vemtrac.dll.a" -o "$consumer/consumer.exe"
x86_64-w64-mingw32-objdump -p "$consumer/consumer.exe" | grep -q 'DLL Name: vemtrac.dll' ||
    fail "the C program does not load vemtrac.dll"
figures=$(cd "$consumer" && "$wine_cmd" consumer.exe vector_job.cmd.txt </dev/null | tr -d '\r')
echo "$figures" | grep -qx '57809 [0-9]* 1' || fail "the C program on vemtrac.dll gave: $figures"
echo "windows-package: a C program on the unpacked vemtrac.dll gives 57809 ms under Wine"

# The service, asked from this side: it takes a free port and says which.
(cd "$dir" &&
    exec "$wine_cmd" vemtrac.exe serve --port 0 --workers 2 </dev/null >../serve.out 2>&1) &
server=$!
served=0
/usr/bin/python3 - "$unpacked/serve.out" examples/mixed_job.cmd examples/vector_job.cmd \
    <<'EOF' && served=1
import json, re, sys, threading, time, urllib.request
out, job, other = sys.argv[1], sys.argv[2], sys.argv[3]
url = None
for _ in range(600):
    m = re.search(r"listening on (http://\S+/)", open(out, errors="replace").read())
    if m:
        url = m.group(1)
        break
    time.sleep(0.1)
if url is None:
    sys.exit("the service did not start:\n" + open(out, errors="replace").read())
page = urllib.request.urlopen(url, timeout=30)
assert page.status == 200 and b"<html" in page.read().lower(), "no page at /"
def estimate(path):
    ask = urllib.request.Request(url + "v1/estimate", data=open(path, "rb").read(),
                                 headers={"Content-Type": "application/octet-stream"})
    return json.load(urllib.request.urlopen(ask, timeout=60))
figures = estimate(job)
assert figures["run_time_ms"] == 91696 and figures["complete"], figures
version = json.load(urllib.request.urlopen(url + "v1/version", timeout=30))
assert version["workers"] == 2, version
# Two clients at once, each on a worker of its own.
answers = {}
clients = [threading.Thread(target=lambda p=p: answers.update({p: estimate(p)}))
           for p in (job, other)]
for c in clients:
    c.start()
for c in clients:
    c.join()
assert answers[job]["run_time_ms"] == 91696, answers
assert answers[other]["run_time_ms"] == 57809, answers
EOF
kill "$server" 2>/dev/null || true
wait "$server" 2>/dev/null || true
[ "$served" -eq 1 ] || fail "vemtrac.exe serve under Wine did not answer as expected"
echo "windows-package: vemtrac.exe serve --workers 2 under Wine serves the page and two clients at once"

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

# A console of its own: Wine gives one to a program started on a terminal
# of its own, as Windows does to a program started by a double-click.
# Runs the unpacked .exe on a terminal of its own, the key 10 s late; sets
# out to what it showed (without the escape sequences with which the
# console draws each character), ending with "rc=<exit code>after=<seconds>".
run_alone() {
    local rc=0
    (sleep 10; printf x) | (cd "$dir" && SHELL=/bin/sh WINE="$wine_cmd" timeout 60 script -qec \
        'started=$(date +%s); "$WINE" vemtrac.exe; echo "rc=$? after=$(($(date +%s) - started))"' \
        /dev/null) >"$unpacked/alone.out" 2>&1 || rc=$?
    [ "$rc" -eq 0 ] || fail "on a terminal of its own: exit code $rc"
    out=$(perl -pe 's/\e\[[0-9;?]*[A-Za-z]//g; s/[\r ]//g' "$unpacked/alone.out")
}
run_alone
echo "$out" | grep -q "Pressanykeytoclosethiswindow" &&
    echo "$out" | grep -qE '^rc=0after=([1-9][0-9])$' ||
    fail "started alone without a job, it did not explain itself and wait:"$'\n'"$out"
echo "windows-package: started alone without a job, it explains itself and waits for a key"
# With a job it never waits: a driver that starts it has put the job there.
cp "$dir/examples/vector_job.cmd.txt" "$dir/Vemtrac.cmd"
run_alone
! echo "$out" | grep -q "Pressanykey" && echo "$out" | grep -qE '^rc=0after=[0-9]$' ||
    fail "started alone with a job, it waited:"$'\n'"$out"
echo "windows-package: started alone with a job, it ends at once"
