#!/usr/bin/env bash
# Builds both programs and packs each ready-to-run folder for Windows users:
# build/Ombrelane-<version>-win32.zip and build64/Ombrelane-<version>-win64.zip.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh"
source "$root/scripts/wine-env.sh"
version=$(sed -nE 's/^project\(Ombrelane VERSION ([0-9.]+).*/\1/p' "$root/CMakeLists.txt")

for arch in win32 win64; do
    select_arch "$arch"
    build_arch Ombrelane
    name=Ombrelane-$version-$arch
    stage=$(mktemp -d)
    cp -a "$OMBRELANE_BUILD/dist" "$stage/$name"
    rm -f "$OMBRELANE_BUILD/$name.zip"
    python3 -c 'import shutil, sys; shutil.make_archive(sys.argv[1], "zip", sys.argv[2], sys.argv[3])' \
        "$OMBRELANE_BUILD/$name" "$stage" "$name"
    rm -rf "$stage"
    echo "$OMBRELANE_BUILD/$name.zip"
done
