#!/usr/bin/env bash
# Installs what building and testing both programs need on a Debian 12 machine
# (run as root). The 32-bit Wine installs even where the host cannot run it.
# clang fuzzes natively; libclang-rt-14-dev holds its libFuzzer and sanitizer
# runtimes. Printing tests print through CUPS into PDFs (cups-pdf) and read
# them back with poppler's tools; the 32-bit Wine needs the 32-bit CUPS library.
set -euo pipefail

packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools cmake googletest
          wine wine64 wine32:i386 xvfb xdotool imagemagick
          iproute2 util-linux procps python3
          fingerd finger socat clang libclang-rt-14-dev
          cups-daemon cups-client printer-driver-cups-pdf libcups2:i386 poppler-utils)
missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
