#!/usr/bin/env bash
# Runs each case of print_cases and reads back the PDF the sandbox's printer
# made of it: pages, their order, their text and where it lies.
#   printing.sh WINE_LOADER PRINT_CASES_EXE
set -uo pipefail
loader=$1
program=$2
pdfs=${OMBRELANE_PDF_DIR:?run inside scripts/sandbox.sh, which provides the printer}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
pages() { pdfinfo "$work/$1.pdf" 2>/dev/null | awk '/^Pages:/ { print $2 }'; }
text() { pdftotext ${2:+-f "$2" -l "$2"} "$work/$1.pdf" - 2>/dev/null | tr -s ' \n\f' ' '; }

# Runs one case and waits (at most 30 s) until the printer has no job left;
# its PDF, if it made one, becomes $work/CASE.pdf.
print_case() {
    rm -f "$pdfs"/*.pdf
    "$loader" "$program" --gtest_filter="*/$1" >"$work/$1.log" 2>&1
    grep -q '^\[  PASSED  \] 1 test' "$work/$1.log" || fail "$1: $(cat "$work/$1.log")"
    for _ in $(seq 300); do
        [ -z "$(lpstat -o 2>/dev/null)" ] && break
        sleep 0.1
    done
    mv "$pdfs"/*.pdf "$work/$1.pdf" 2>/dev/null
}

# The case printed these pages of the one-copy print, in this order.
expect_pages() {
    local name=$1 page=0 plain
    shift
    [ "$(pages "$name")" = $# ] || fail "$name: $(pages "$name") pages, not $#"
    for plain in "$@"; do
        page=$((page + 1))
        [ "$(text "$name" $page)" = "$(text Pages "$plain")" ] || fail "$name: page $page is not page $plain"
    done
}

for case in Pages CollatedCopies UncollatedCopies CollatedThroughTheDialog PageRange Cancel Selection \
    EmptyPaneThroughTheDialog RangeBeyondTheOutput StartFails; do
    print_case $case
done
cupsreject PDF
print_case RefusedJob
cupsaccept PDF
for case in RefusedJob RangeBeyondTheOutput StartFails; do
    [ ! -e "$work/$case.pdf" ] || fail "$case: printed"
done

n=$(pages Pages)
[ "${n:-0}" -ge 3 ] || fail "Pages: ${n:-no} pages"
expected="Bigheading$(seq -f 'w%02g' -s '' 1 60)$(printf 'X%.0s' {1..200})$(seq -f 'Line%03g' -s '' 1 150)"
[ "$(text Pages | tr -d ' ')" = "$expected" ] || fail "Pages: the text"
# Every word within the margins (3/4 inch at the sides, an inch at the top and
# bottom), and the 24-point heading higher than the 12-point lines.
pdftotext -bbox "$work/Pages.pdf" - | awk -F'"' '
    /<page / { width = $2; height = $4 }
    /<word / {
        if ($2 < 52 || $6 > width - 52 || $4 < 70 || $8 > height - 70) outside++
        if ($9 ~ /^>heading</) big = $8 - $4
        if ($9 ~ /^>Line</) small = $8 - $4
    }
    END { exit !(outside == 0 && small > 0 && big > 1.5 * small) }' || fail "Pages: the layout"
plain=$(seq 1 "${n:-0}")
expect_pages CollatedCopies $plain $plain $plain
expect_pages UncollatedCopies $(for p in $plain; do echo "$p $p $p"; done)
expect_pages CollatedThroughTheDialog $plain $plain
expect_pages PageRange 2 3
expect_pages Cancel 1
[ "$(pages Selection):$(text Selection)" = "1:$(seq -f 'Line %03g' 40 45 | tr '\n' ' ')" ] ||
    fail "Selection: $(pages Selection) pages: $(text Selection)"
[ "$(pages EmptyPaneThroughTheDialog):$(text EmptyPaneThroughTheDialog | tr -d ' ')" = 1: ] ||
    fail "EmptyPaneThroughTheDialog: $(pages EmptyPaneThroughTheDialog) pages"

echo "printing: $failures failed"
[ "$failures" -eq 0 ]
