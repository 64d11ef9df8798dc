#!/usr/bin/env bash
# Builds the program, starts it with a few sample entries on a virtual display
# and saves one screenshot of each entry-list view:
#   scripts/screenshots.sh
# The pictures land in screenshots/view-<name>.png in the build folder. Runs
# itself inside scripts/sandbox.sh (private display and Wine prefix).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
root=$OMBRELANE_ROOT
build=$OMBRELANE_BUILD

if [ "${OMBRELANE_IN_SANDBOX:-}" != 1 ]; then
    build_arch Ombrelane send_command
    exec "$root/scripts/sandbox.sh" "$0" "$@"
fi

shots=$build/screenshots
mkdir -p "$shots"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$build/dist/Ombrelane.exe" "$build/dist/Welcome.rtf" "$work/"

# Little-endian 4-byte numbers as one .reg hex list.
hex4() {
    local bytes=() n
    for n in "$@"; do
        bytes+=("$(printf '%02x,%02x,%02x,%02x' $((n & 255)) $(((n >> 8) & 255)) $(((n >> 16) & 255)) \
            $(((n >> 24) & 255)))")
    done
    local IFS=,
    echo "hex:${bytes[*]}"
}

# Settings of a user who has seen the welcome (no first-run boxes), network
# simulated so the at-start fingers fill the output pane; the window at a
# fixed place on the 1024x768 screen.
key='HKEY_CURRENT_USER\Software\Corvale Software\Ombrelane'
{
    echo 'REGEDIT4'
    echo
    echo "[$key]"
    echo "\"Options\"=$(hex4 0x0c)"
    echo "\"Rect\"=$(hex4 40 30 840 630)"
    echo "\"LV Style\"=$(hex4 1)"
    # description|address|flags|finger count|last fingered
    n=0
    while IFS='|' read -r description address flags count last; do
        echo
        echo "[$key\\Profiles\\$description]"
        echo "\"Address\"=\"$address\""
        printf '"Monitor Log"="%08d.htm"\n' "$n"
        echo "\"Flags\"=$(hex4 "$flags")"
        echo "\"NumFingers\"=$(hex4 "$count")"
        echo "\"Last Fingered\"=$(hex4 "$last")"
        echo "\"Points\"=$(hex4 120)"
        echo "\"Colour\"=$(hex4 0x00800000)"
        n=$((n + 1))
    done <<'EOF'
Alice at the lab|alice@lab.example.org|0x08000001|12|1700000000
Build server|@build.example.org|0x04000000|3|1710000000
Campus news|news@campus.example.edu|0x02000001|0|0
Daily status|status@ops.example.net|0x05000000|41|1720000000
Everyone on tiger|@tiger.example.com|0x00800000|7|1690000000
EOF
} > "$work/seed.reg"
wine regedit /S "$(wine winepath -w "$work/seed.reg")" >/dev/null 2>&1

(cd "$work" && wine ./Ombrelane.exe >/dev/null 2>&1 &)
for _ in $(seq 150); do
    xdotool search --name '^Ombrelane$' >/dev/null 2>&1 && break
    sleep 0.2
done
sleep 3

send() {
    wine "$build/send_command.exe" "$@" >/dev/null 2>&1
}
for view in large-icons:40010 small-icons:40011 list:40012 details:40013; do
    name=${view%%:*}
    send "${view##*:}"
    sleep 1.5
    timeout 20 import -window root "$shots/view-$name.png"
    echo "$shots/view-$name.png"
done
send 40009
sleep 2
