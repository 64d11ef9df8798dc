# Shared build and Wine settings for one architecture; sourced by the other
# scripts. OMBRELANE_ARCH picks it: win32 (built in build/) or win64 (built in
# build64/). Left unset, it is win32 where this host can run 32-bit code, else
# win64.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
OMBRELANE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Some hosts refuse every i386 executable, whatever their name says: ask the
# 32-bit loader itself.
host_runs_win32() {
    /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Sets the Wine loader, prefix kind, toolchain and build folder of one
# architecture. Debian's wine wrappers take the 32-bit loader whenever it is
# installed, so the loader is named here and every script calls `wine` below.
select_arch() {
    case $1 in
    win32) WINELOADER=/usr/lib/wine/wine OMBRELANE_TOOLCHAIN=mingw-i686 OMBRELANE_BUILD=$OMBRELANE_ROOT/build ;;
    win64) WINELOADER=/usr/lib/wine/wine64 OMBRELANE_TOOLCHAIN=mingw-x86_64 OMBRELANE_BUILD=$OMBRELANE_ROOT/build64 ;;
    *)
        echo "OMBRELANE_ARCH must be win32 or win64, not '$1'" >&2
        return 2
        ;;
    esac
    export OMBRELANE_ARCH=$1 WINEARCH=$1 WINELOADER OMBRELANE_TOOLCHAIN OMBRELANE_BUILD
    WINE_TEMPLATE=$OMBRELANE_BUILD/wine-template
}

wine() {
    "$WINELOADER" "$@"
}
export -f wine

# Configures and builds the chosen architecture (all targets, or the ones
# given), showing only warnings and errors.
build_arch() {
    local output status
    output=$(cmake -S "$OMBRELANE_ROOT" -B "$OMBRELANE_BUILD" \
        -DCMAKE_TOOLCHAIN_FILE="$OMBRELANE_ROOT/cmake/$OMBRELANE_TOOLCHAIN.cmake" 2>&1 &&
        cmake --build "$OMBRELANE_BUILD" -j"$(nproc)" ${1:+--target "$@"} 2>&1)
    status=$?
    if [ $status -ne 0 ]; then
        printf '%s\n' "$output" | tail -n 40 >&2
    else
        printf '%s\n' "$output" | grep -E 'warning|error' >&2 || true
    fi
    return $status
}

# Makes the template prefix once per build folder; every run copies it.
make_wine_template() {
    if [ -f "$WINE_TEMPLATE/.ready" ]; then return; fi
    mkdir -p "$OMBRELANE_BUILD"
    rm -rf "$WINE_TEMPLATE"
    WINEPREFIX=$WINE_TEMPLATE wine wineboot -i >/dev/null 2>&1 || true
    WINEPREFIX=$WINE_TEMPLATE wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    WINEPREFIX=$WINE_TEMPLATE wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    WINEPREFIX=$WINE_TEMPLATE wineserver -w
    touch "$WINE_TEMPLATE/.ready"
}

if [ -z "${OMBRELANE_ARCH:-}" ]; then
    if host_runs_win32; then OMBRELANE_ARCH=win32; else OMBRELANE_ARCH=win64; fi
fi
select_arch "$OMBRELANE_ARCH" || exit 2
