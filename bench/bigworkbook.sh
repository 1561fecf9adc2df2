#!/usr/bin/env bash
# Opens workbooks far taller than the runs take (1,000,000 data rows; .xls at
# its 65,536-row maximum) the way the runs do and prints time and peak memory
# of each opening, then times a district check run on the tall .xlsx.
#
#   bench/bigworkbook.sh [ROWS]
set -euo pipefail
cd "$(dirname "$0")/.."
rows="${1:-1000000}"

bash scripts/install-deps.sh
BUILD="${BUILD_DIR:-build}"
cmake -S . -B "$BUILD" >/dev/null
cmake --build "$BUILD" -j2 --target tarvel_bigworkbook tarvel_bench

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
tool="$BUILD/bench/tarvel_bigworkbook"

echo "== writing workbooks of $rows data rows in $work"
for kind in xlsx xlsx-inline ods csv; do
  file="$work/gross-$kind.${kind%-inline}"
  "$tool" write "$kind" "$file" "$rows"
  printf '  %-12s %6d MB\n' "$kind" "$(( $(stat -c %s "$file") / 1048576 ))"
done
# The .xls format ends at 65,536 rows.
/usr/bin/python3 - "$work/gross-xls.xls" <<'PY'
import sys, xlwt
book = xlwt.Workbook()
sheet = book.add_sheet("Tabelle1")
for c, h in enumerate(["Nr", "Lfdnr", "frei", "Revier", "Verbiss", "Änderung", "Jahr", "Bemerkung", "Fläche"]):
    sheet.write(0, c, h)
for i in range(1, 65536):
    for c, v in enumerate(["Z%d" % i, i, None, "Revier %d" % i, i % 4 + 1, i % 4, 2021, "Bemerkung %d" % (i % 100), i / 4]):
        if v is not None:
            sheet.write(i, c, v)
book.save(sys.argv[1])
PY
printf '  %-12s %6d MB (65,535 data rows)\n' xls "$(( $(stat -c %s "$work/gross-xls.xls") / 1048576 ))"

echo "== opening as the runs do (time, peak resident memory of the process)"
for kind in xlsx xlsx-inline ods csv xls; do
  file="$work/gross-$kind.${kind%-inline}"
  printf '  %-12s ' "$kind"
  "$tool" open "$file" || true
done

echo "== district check on the tall .xlsx (SQLite, 10,000 districts)"
"$BUILD/bench/tarvel_bench" "$work/bench.sqlite" 10000 "$work/gross-xlsx.xlsx"
