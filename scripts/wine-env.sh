# Shared Wine settings; sourced by the other scripts.
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
OMBRELANE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OMBRELANE_BUILD=${OMBRELANE_BUILD:-$OMBRELANE_ROOT/build}
WINE_TEMPLATE=$OMBRELANE_BUILD/wine-template

# Makes the template prefix once per build folder; every run copies it.
make_wine_template() {
    if [ -f "$WINE_TEMPLATE/.ready" ]; then return; fi
    mkdir -p "$OMBRELANE_BUILD"
    rm -rf "$WINE_TEMPLATE"
    WINEPREFIX=$WINE_TEMPLATE wineboot -i >/dev/null 2>&1 || true
    WINEPREFIX=$WINE_TEMPLATE wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    WINEPREFIX=$WINE_TEMPLATE wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    WINEPREFIX=$WINE_TEMPLATE wineserver -w
    touch "$WINE_TEMPLATE/.ready"
}
