#!/usr/bin/env bash
# Builds and runs every benchmark in the sandbox: the 32-bit program where this
# host can run it, else the 64-bit one (OMBRELANE_ARCH=win32 or win64 chooses).
# Each figure is printed as "NAME: VALUE UNIT (reference REF UNIT, ratio R)"
# where it has a reference measured in the same run. One group alone:
#   scripts/bench.sh startup   start-up and shutdown against bare registry loops
#   scripts/bench.sh latency   200 entries against distant and dead servers
#   scripts/bench.sh fingers   fingers per second against a bare Winsock loop
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh"
source "$root/scripts/wine-env.sh"
case "${1:-}" in
startup | latency)
    runs=("ombrelane_bench_$1")
    shift
    ;;
fingers)
    runs=(ombrelane_bench)
    ;;
*)
    runs=(ombrelane_bench ombrelane_bench_latency)
    ;;
esac
build_arch "${runs[@]}"
echo "Benchmarks of the $OMBRELANE_ARCH program"
for bench in "${runs[@]}"; do
    "$root/scripts/sandbox.sh" wine "$OMBRELANE_BUILD/bench/$bench.exe" "$@"
done
