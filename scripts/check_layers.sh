#!/usr/bin/env bash
# Fails when a program file includes a file of a higher layer, or includes a
# file other than from the repository root. Layers, lowest first:
#   entries < output < jobs < ui < shell     (resources/ is open to all)
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
layers=(entries output jobs ui shell)

rank() {
    local i
    for i in "${!layers[@]}"; do
        if [ "${layers[$i]}" = "$1" ]; then
            echo "$i"
            return
        fi
    done
    echo -1
}

status=0
for dir in "${layers[@]}"; do
    mine=$(rank "$dir")
    while IFS=: read -r file line text; do
        target=${text#*\"}
        target=${target%%\"*}
        folder=${target%%/*}
        if [ "$folder" = "$target" ]; then
            echo "${file#"$root"/}:$line: write the include from the repository root: $target"
            status=1
        elif [ "$(rank "$folder")" -gt "$mine" ]; then
            echo "${file#"$root"/}:$line: $dir/ includes $target of a higher layer"
            status=1
        fi
    done < <(grep -Hn '^#include "' "$root/$dir"/*.h "$root/$dir"/*.cpp 2>/dev/null)
done
[ $status -eq 0 ] && echo "Includes point down the layers: ${layers[*]}"
exit $status
