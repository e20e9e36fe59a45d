# Wine for the project's Windows checks; sourced by tests/windows_parity.sh
# and scripts/windows-package.sh.

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

# Uses the private prefix $1 (created with wineboot on first use, its output
# in $2): no window or desktop integration, no download prompts for Mono or
# Gecko (a console program needs neither), no Wine debug chatter. The
# prefix's Wine server (and only that one) is stopped when the script exits.
# Fails when wineboot does.
wine_private_prefix() {
    export WINEPREFIX=$1
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
    trap wine_stop_server EXIT
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        "$wine_cmd" wineboot --init </dev/null >"$2" 2>&1
    fi
}

# Ends the Wine server of the private prefix.
# shellcheck disable=SC2317 # called through the trap
wine_stop_server() {
    if [ -n "$wineserver_cmd" ] && [ -d "$WINEPREFIX" ]; then
        "$wineserver_cmd" -k >/dev/null 2>&1 || true
    fi
}
