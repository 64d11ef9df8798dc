#!/usr/bin/env bash
# Runs each case of print_cases and reads back the PDF the sandbox's printer made of it.
#   printing.sh WINE_LOADER PRINT_CASES_EXE
set -uo pipefail
loader=$1
program=$2
pdfs=${OMBRELANE_PDF_DIR:?run inside scripts/sandbox.sh, which provides the printer}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
pages() { pdfinfo "$work/$1.pdf" 2>/dev/null | awk '/^Pages:/ { n = $2 } END { print n + 0 }'; }
text() { pdftotext ${2:+-f "$2" -l "$2"} "$work/$1.pdf" - 2>/dev/null | tr -s ' \n\f' ' ' | sed 's/^ //; s/ $//'; }

# Runs one case, waits (at most 30 s) until the printer has no job left and keeps its PDF as $work/CASE.pdf.
print_case() {
    rm -f "$pdfs"/*.pdf
    "$loader" "$program" --gtest_filter="*/$1" >"$work/$1.log" 2>&1
    grep -q '^\[  PASSED  \] 1 test' "$work/$1.log" || fail "$1: $(cat "$work/$1.log")"
    timeout 30 bash -c 'while [ -n "$(lpstat -o 2>/dev/null)" ]; do sleep 0.1; done'
    mv "$pdfs"/*.pdf "$work/$1.pdf" 2>/dev/null
}

# Runs a case that must print these pages in order: a page of the Pages print by number, or a text (none: no PDF).
expect() {
    local name=$1 page=0 want
    shift
    print_case "$name"
    [ "$(pages "$name")" = $# ] || fail "$name: $(pages "$name") pages, not $#"
    for want in "$@"; do
        page=$((page + 1))
        [[ $want =~ ^[0-9]+$ ]] && want=$(text Pages "$want")
        [ "$(text "$name" $page)" = "$want" ] || fail "$name: page $page is not '${want:0:40}'"
    done
}

print_case Pages
expected="Bigheading$(seq -f 'w%02g' -s '' 1 60)$(printf 'X%.0s' {1..200})$(seq -f 'Line%03g' -s '' 1 150)"
[ "$(text Pages | tr -d ' ')" = "$expected" ] || fail "Pages: the text"
# Every word within the margins (3/4 inch at the sides, an inch above and below); the heading over 1.5 lines high.
pdftotext -bbox "$work/Pages.pdf" - | awk -F'"' '
    /<page / { width = $2; height = $4 }
    /<word / { outside += ($2 < 52 || $6 > width - 52 || $4 < 70 || $8 > height - 70) }
    /<word .*>heading</ { big = $8 - $4 }
    /<word .*>Line</ { small = $8 - $4 }
    END { exit !(outside == 0 && small > 0 && big > 1.5 * small) }' || fail "Pages: the layout"

all=$(seq "$(pages Pages)")
expect UncollatedCopies $(for page in $all; do echo "$page $page $page"; done)
expect CollatedThroughTheDialog $all $all
expect PageRange 2 3
expect Cancel 1
expect Selection "$(seq -f 'Line %03g' -s ' ' 40 45)"
expect EmptyPaneThroughTheDialog ""
expect RangeBeyondTheOutput
expect StartFails
cupsreject PDF
expect RefusedJob
cupsaccept PDF

echo "printing: $failures failed"
[ "$failures" -eq 0 ]
