# Wine for the project's Windows checks; sourced by tests/windows_parity.sh
# and scripts/windows-package.sh.
#
# Every build folder and script shares one Wine prefix (about 700 MB, about
# 10 s to set up on first use), outside the build folders so that a fresh
# build does not make another: $VEMTRAC_WINE_PREFIX, by default
# ~/.cache/vemtrac/wine (under $XDG_CACHE_HOME when that is set).

# Sets wine_cmd to the Wine loader, or to nothing when Wine is not installed.
wine_find() {
    wine_cmd=""
    local candidate
    for candidate in wine wine64 /usr/lib/wine/wine64; do
        if command -v "$candidate" >/dev/null 2>&1; then
            wine_cmd=$(command -v "$candidate")
            return
        fi
    done
}

# The shared prefix's folder.
wine_shared_prefix_dir() {
    printf '%s\n' "${VEMTRAC_WINE_PREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/vemtrac/wine}"
}

# Uses the shared prefix (created with wineboot on first use, its output in
# $1): no window or desktop integration, no download prompts for Mono or
# Gecko (a console program needs neither), no Wine debug chatter. One run at
# a time uses the prefix: a second waits for the first to end. The prefix's
# Wine server (and only that one) is stopped when the script exits. Fails
# when wineboot does.
wine_shared_prefix() {
    WINEPREFIX=$(wine_shared_prefix_dir)
    export WINEPREFIX
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
    unset DISPLAY WAYLAND_DISPLAY
    wineserver_cmd=""
    local candidate
    for candidate in wineserver /usr/lib/wine/wineserver64; do
        if command -v "$candidate" >/dev/null 2>&1; then
            wineserver_cmd=$(command -v "$candidate")
            break
        fi
    done
    mkdir -p "$(dirname "$WINEPREFIX")"
    # Held until the script exits; the Wine server of this run inherits it
    # and is stopped at the exit too.
    exec {wine_lock_fd}>"$WINEPREFIX.lock"
    if ! flock -n "$wine_lock_fd"; then
        echo "waiting for another run to finish with the Wine prefix $WINEPREFIX"
        flock "$wine_lock_fd"
    fi
    trap wine_stop_server EXIT
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "setting up the Wine prefix $WINEPREFIX (once, about 10 s)"
        "$wine_cmd" wineboot --init </dev/null >"$1" 2>&1
    fi
}

# Ends the Wine server of the shared prefix.
# shellcheck disable=SC2317 # called through the trap
wine_stop_server() {
    if [ -n "$wineserver_cmd" ] && [ -d "$WINEPREFIX" ]; then
        "$wineserver_cmd" -k >/dev/null 2>&1 || true
    fi
}
