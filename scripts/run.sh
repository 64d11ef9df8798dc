#!/usr/bin/env bash
# Builds everything and starts the program under Wine:
#   scripts/run.sh [SWITCHES...]
# It runs the 32-bit program where this host can, else the 64-bit one
# (OMBRELANE_ARCH=win32 or win64 chooses). With no display it starts a virtual
# one, saves a screenshot of the program to screenshot.png in the build folder
# after a few seconds and closes it again (pass --keep to leave it running
# until you press Enter).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
keep=0
args=()
for arg in "$@"; do
    if [ "$arg" = --keep ]; then keep=1; else args+=("$arg"); fi
done

"$root/scripts/setup.sh"
source "$root/scripts/wine-env.sh"
build=$OMBRELANE_BUILD
build_arch Ombrelane

# The program keeps its settings in the registry of this prefix.
export WINEPREFIX=${WINEPREFIX:-$build/wine-prefix}
if [ ! -d "$WINEPREFIX" ]; then
    make_wine_template
    cp -a "$WINE_TEMPLATE" "$WINEPREFIX"
fi
cd "$build/dist"

if [ -n "${DISPLAY:-}" ]; then
    exec wine ./Ombrelane.exe "${args[@]}"
fi

display=:77
Xvfb $display -screen 0 1024x768x24 -nolisten tcp -nolock >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
for _ in $(seq 50); do
    xdotool getmouselocation >/dev/null 2>&1 && break
    sleep 0.1
done
stop() {
    wineserver -k >/dev/null 2>&1 || true
    kill "$xvfb_pid" >/dev/null 2>&1 || true
}
trap stop EXIT

wine ./Ombrelane.exe "${args[@]}" >/dev/null 2>&1 &
for _ in $(seq 100); do
    xdotool search --name '^Ombrelane$' >/dev/null 2>&1 && break
    sleep 0.2
done
sleep 4
import -window root "$build/screenshot.png"
echo "Ombrelane is running on the virtual display $display; screenshot: $build/screenshot.png"
if [ "$keep" = 1 ]; then
    read -r -p "Press Enter to close it. "
fi
