#!/usr/bin/env bash
# Regenerates the reader corpus's workbooks: pass/<case>.<ext> beside the
# golden pass/<case>.expected (one "A1<TAB>text" line per non-empty cell) and
# fail/<case>.<ext> beside fail/<case>.expected (error number, then texts the
# description must contain). The .expected files are written by hand.
# Needs libxlsxwriter-dev, Debian's python3 with openpyxl/xlwt, and for the
# LibreOffice-made files libreoffice-calc-nogui + python3-uno (generation only).
set -euo pipefail
cd "$(dirname "$0")"
find pass fail -type f ! -name "*.expected" -delete
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

/usr/bin/python3 make_corpus.py

# libxlsxwriter: normal mode (shared strings) and constant-memory mode (inline strings)
cc -O1 -o "$work/write_table" write_table.c -lxlsxwriter
"$work/write_table" pass/xlsxwriter_shared_strings.xlsx
"$work/write_table" pass/xlsxwriter_constant_memory.xlsx constant

# LibreOffice re-saves the libxlsxwriter table as xlsx, xls and ods, and writes
# password-protected copies.
if command -v soffice >/dev/null && /usr/bin/python3 -c 'import uno' 2>/dev/null; then
  HOME="$work" /usr/bin/python3 lo_convert.py "$work" pass/xlsxwriter_shared_strings.xlsx
  for e in xlsx xls ods; do cp "$work/out/table.$e" pass/libreoffice_$e.$e; done
  cp "$work/out/password.xls" fail/password.xls
  cp "$work/out/password.ods" fail/password_ods.ods
else
  echo "LibreOffice or python3-uno missing: LibreOffice files not regenerated" >&2
  exit 1
fi
# Users rename files: the content decides the format, whatever the name says.
cp pass/xlsxwriter_shared_strings.xlsx pass/content_xlsx_named.csv
cp pass/libreoffice_ods.ods pass/content_ods_named.xlsx
cp pass/libreoffice_xls.xls pass/content_xls_named.ods
ls -l pass fail
