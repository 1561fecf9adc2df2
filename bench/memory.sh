#!/usr/bin/env bash
# Peak memory of tarvel-batch checks and imports on small workbooks that cost
# much text: cells of 32,767 characters (the most a spreadsheet program stores
# in a cell) on rows and columns repeated in the file. "*-9999" name 9,999 rows
# of them in a few kilobytes, which the reader refuses (more text than its bound
# on the rows a run reads); the others repeat the row as often as that bound
# still accepts, so that the runs log as much as a workbook can make them (an
# import, which logs a name twice, ends at the 64 MB log bound). Each run must
# stay below 300 MB. Then district checks of two .xls workbooks of 50 MB and
# 250 MB whose shared-string table holds one-character strings (10,000 rows
# use some of them), which once took 16 times the file's size: each may take
# max(300 MB, three times the file's size).
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

# .xls workbooks of one-character shared strings, written with the corpus's
# compound-file writer; 10,000 rows of nine cells use strings from all over
# the table (district 12 in column 2).
/usr/bin/python3 - "$work" <<'PY'
import struct, sys
sys.path.insert(0, "tests/data/workbooks")
from compound_file import compound_file
from make_corpus import biff8_stream, biff_cell, biff_record
folder = sys.argv[1]
strings = b"".join(struct.pack("<HB", 1, 0) + bytes([65 + i % 26]) for i in range(2056))  # 8,224 bytes
for megabytes in (50, 250):
    continues = megabytes * 1024 * 1024 // (len(strings) + 4) - 10
    count = 2054 + 2056 * continues
    table = (biff_record(0x00FC, struct.pack("<II", count, count) + strings[:-8])
             + biff_record(0x003C, strings) * continues)
    cells = b"".join(biff_cell(0x0203, r, 1, struct.pack("<d", 12)) if c == 1
                     else biff_cell(0x00FD, r, c, struct.pack("<I", (r * 9 + c) * 7919 % count))
                     for r in range(10000) for c in range(9))
    with open(f"{folder}/strings-{megabytes}mb.xls", "wb") as out:
        out.write(compound_file({"Workbook": biff8_stream(cells, table)}))
PY

# measure FILE RUN KIND LIMIT_MB: the peak memory of one run and how it ended.
failed=0
measure() {
  local status peak
  set +e
  /usr/bin/time -f '%M' -o "$work/peak" "$BUILD/batch/tarvel-batch" "$2" "$3" \
    --database "$work/demo.sqlite" "$1" >"$work/out" 2>"$work/err"
  status=$?
  set -e
  peak=$(($(tail -n 1 "$work/peak") / 1024))
  printf '%-26s %-7s %7d  %d, %s\n' "$(basename "$1")" "$2" "$peak" "$status" \
    "$(grep -o 'Beschreibung: [^.]*' "$work/err" | cut -c15-90 || tail -n 1 "$work/err")"
  if ((peak > $4)); then
    echo "FAIL: more than $4 MB"
    failed=1
  fi
}

printf '%-26s %-7s %7s  %s\n' workbook run "peak MB" "exit status, how the run ended"
for book in district-name district-wide cooperative-name cooperative-wide \
            district-name-9999 district-wide-9999 cooperative-name-9999 cooperative-wide-9999; do
  for run in check import; do
    measure "$work/$book.ods" "$run" "--${book%%-*}" 300
  done
done
for megabytes in 50 250; do
  size=$(($(stat -c %s "$work/strings-${megabytes}mb.xls") / 1048576))
  measure "$work/strings-${megabytes}mb.xls" check --district $((3 * size > 300 ? 3 * size : 300))
done
exit $failed
