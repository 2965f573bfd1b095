# Sourced by the other scripts: the project's own Wine prefix and a persistent wineserver.
# Usage: . scripts/env.sh
KESTREL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export KESTREL_ROOT
export WINEPREFIX="$KESTREL_ROOT/build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

kestrel_wine_ready() {
    [ -f "$WINEPREFIX/system.reg" ] && [ -d "$WINEPREFIX/drive_c/system.sav/util" ]
}

kestrel_start_wineserver() {
    # The server must not hold the caller's pipes open, or a caller waiting for EOF never returns.
    # A second "wineserver -p" finds the running one and exits, so this is safe to repeat.
    (setsid wineserver -p </dev/null >/dev/null 2>&1 &) </dev/null >/dev/null 2>&1
}

if ! kestrel_wine_ready; then
    mkdir -p "$WINEPREFIX"
    wineboot -i </dev/null >/dev/null 2>&1 || true
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
