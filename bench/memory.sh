#!/usr/bin/env bash
# Peak memory of tarvel-batch checks and imports on small workbooks that cost
# much text: cells of 32,767 characters (the most a spreadsheet program stores
# in a cell) on rows and columns repeated in the file. "*-9999" name 9,999 rows
# of them in a few kilobytes, which the reader refuses (more text than its bound
# on the rows a run reads); the others repeat the row as often as that bound
# still accepts, so that the runs log as much as a workbook can make them (an
# import, which logs a name twice, ends at the 64 MB log bound). Each run must
# stay below 300 MB.
#
#   bench/memory.sh
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${BUILD_DIR:-build}"
cmake -S . -B "$BUILD" >/dev/null
cmake --build "$BUILD" -j2 --target tarvel-batch tarvel-demodb >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/data"
"$BUILD/examples/tarvel-demodb" "$work/demo.sqlite" >/dev/null

# An ods of 9,999 repeated data rows; "wide" repeats a long cell over all nine
# columns, "name" puts it in the name column only (district 12, cooperative 448
# with a year, so that the rows are found and imported).
/usr/bin/python3 - "$work" <<'PY'
import sys, zipfile
folder = sys.argv[1]
long = "N" * 32767
def cell(value):
    if isinstance(value, int):
        return f'<table:table-cell office:value-type="float" office:value="{value}"/>'
    return f'<table:table-cell office:value-type="string"><text:p>{value}</text:p></table:table-cell>'
def ods(name, heading, row, repeat_last=1, rows=9999):
    cells = "".join(cell(v) for v in row[:-1]) + cell(row[-1]).replace("<table:table-cell", f'<table:table-cell table:number-columns-repeated="{repeat_last}"', 1)
    content = ('<?xml version="1.0" encoding="UTF-8"?><office:document-content '
               'xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
               'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
               'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2">'
               '<office:body><office:spreadsheet><table:table table:name="T">'
               f'<table:table-row>{"".join(cell(h) for h in heading)}</table:table-row>'
               f'<table:table-row table:number-rows-repeated="{rows}">{cells}</table:table-row>'
               '</table:table></office:spreadsheet></office:body></office:document-content>')
    with zipfile.ZipFile(f"{folder}/{name}.ods", "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(zipfile.ZipInfo("mimetype"), "application/vnd.oasis.opendocument.spreadsheet",
                   compress_type=zipfile.ZIP_STORED)
        z.writestr("META-INF/manifest.xml", '<?xml version="1.0" encoding="UTF-8"?><manifest:manifest '
                   'xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" manifest:version="1.2">'
                   '<manifest:file-entry manifest:full-path="/" '
                   'manifest:media-type="application/vnd.oasis.opendocument.spreadsheet"/>'
                   '<manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml"/>'
                   '</manifest:manifest>')
        z.writestr("content.xml", content)
district = ["Nr", "Lfdnr", "frei", "Revier", "Verbiss", "Änderung", "Jahr", "Bemerkung", "Fläche"]
cooperative = ["Hgnr", "Jahr", "Lkr", "Lkrname", "Alf_kurz", "Alf_lang", "Hgname", "Belast", "Abschuss"]
# The reader takes 16,777,216 characters of text on the rows a run reads: 511
# rows of one long cell, 73 of seven.
for rows, suffix in ((9999, "-9999"), (511, ""), (73, "")):
    if rows != 73:
        ods("district-name" + suffix, district, ["A", 12, "", long, 3, 0, 2021], rows=rows)
        ods("cooperative-name" + suffix, cooperative, [448, 2021, 475, "Hof", "bm", "lang", long, 3, 4], rows=rows)
    if rows != 511:
        ods("district-wide" + suffix, district, [long, 12, long, long, long, long, 2021, long], repeat_last=2, rows=rows)
        ods("cooperative-wide" + suffix, cooperative, [448, 2021, long], repeat_last=7, rows=rows)
PY

limit_kb=$((300 * 1024))
worst=0
printf '%-22s %-7s %7s  %s\n' workbook run "peak MB" "exit status, how the run ended"
for book in district-name district-wide cooperative-name cooperative-wide \
            district-name-9999 district-wide-9999 cooperative-name-9999 cooperative-wide-9999; do
  kind=--${book%%-*}
  for run in check import; do
    set +e
    /usr/bin/time -f '%M' -o "$work/peak" "$BUILD/batch/tarvel-batch" "$run" "$kind" \
      --database "$work/demo.sqlite" "$work/$book.ods" >"$work/out" 2>"$work/err"
    status=$?
    set -e
    peak=$(tail -n 1 "$work/peak")
    (( peak > worst )) && worst=$peak
    printf '%-22s %-7s %7d  %d, %s\n' "$book" "$run" $((peak / 1024)) "$status" \
      "$(grep -o 'Beschreibung: [^.]*' "$work/err" | cut -c15-90 || tail -n 1 "$work/err")"
  done
done
if (( worst > limit_kb )); then
  echo "FAIL: a run took $((worst / 1024)) MB, more than 300 MB"
  exit 1
fi
echo "every run stayed below 300 MB (largest $((worst / 1024)) MB)"
