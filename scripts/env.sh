# Sourced by the other scripts: the project's own Wine prefix and a persistent wineserver.
# Usage: . scripts/env.sh
KESTREL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export KESTREL_ROOT
export WINEPREFIX="$KESTREL_ROOT/build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

# A WoW64 prefix: 64-bit and 32-bit programs side by side, as on the PCs we serve.
kestrel_wine_ready() {
    [ -f "$WINEPREFIX/system.reg" ] && [ -d "$WINEPREFIX/drive_c/system.sav/util" ] &&
        [ -d "$WINEPREFIX/drive_c/windows/syswow64" ]
}

# The server's socket for this prefix (its folder is named after the prefix's
# device and inode).
kestrel_wineserver_socket() {
    local dev ino
    dev=$(printf '%x' "$(stat -c %d "$WINEPREFIX")")
    ino=$(printf '%x' "$(stat -c %i "$WINEPREFIX")")
    compgen -G "/tmp/wine-*/server-$dev-$ino/socket" >/dev/null ||
        compgen -G "/tmp/.wine-$(id -u)/server-$dev-$ino/socket" >/dev/null
}

kestrel_start_wineserver() {
    # The server must not hold the caller's pipes open, or a caller waiting for EOF
    # (ctest, a pipe into tail) never returns. A second "wineserver -p" finds the
    # running one and exits, so this is safe to repeat. Wait for the socket: a Wine
    # program started before it exists would start a server of its own, attached
    # to the caller's pipes.
    local tries
    for tries in 1 2 3 4 5 6 7 8 9 10; do
        (setsid wineserver -p </dev/null >/dev/null 2>&1 &) </dev/null >/dev/null 2>&1
        local wait
        for wait in 1 2 3 4 5 6 7 8 9 10; do
            kestrel_wineserver_socket && return 0
            sleep 0.2
        done
    done
    echo "scripts/env.sh: the wineserver did not start" >&2
}

if ! kestrel_wine_ready; then
    # A prefix made before wine32 was installed has no syswow64 and no longer starts
    # any program ("could not load kernel32.dll"): it is made again.
    if [ -d "$WINEPREFIX" ]; then
        wineserver -k </dev/null >/dev/null 2>&1 || true
        rm -rf "$WINEPREFIX"
    fi
    mkdir -p "$WINEPREFIX"
    wineboot -i </dev/null >/dev/null 2>&1 || true
    # Let the server wineboot started finish before the persistent one starts.
    wineserver -w </dev/null >/dev/null 2>&1 || true
    # The layout of the machines this tool serves.
    mkdir -p "$WINEPREFIX/drive_c/system.sav/util"
fi
kestrel_start_wineserver

# Wine starts its own services (services.exe, rpcss, plugplay...) with the first
# program a server runs, and they live as long as the server. Started by a test
# under ctest they would inherit ctest's output pipe and keep it open, and ctest
# would wait on it until the test's timeout. Start them here, detached from any
# caller's pipes, once per shell that sources this file.
if [ "${KESTREL_WINE_PRIMED:-}" != "$WINEPREFIX" ]; then
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
    export KESTREL_WINE_PRIMED="$WINEPREFIX"
fi
