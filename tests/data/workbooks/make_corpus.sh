#!/usr/bin/env bash
# Regenerates the reader corpus: pass/<case>.<ext> with pass/<case>.expected
# (one "A1<TAB>text" line per non-empty cell) and fail/<case>.<ext> with
# fail/<case>.expected (error number, then texts the description must contain).
# Needs libxlsxwriter-dev, Debian's python3 with openpyxl/xlwt, and for the
# LibreOffice-made files libreoffice-calc-nogui + python3-uno (generation only).
set -euo pipefail
cd "$(dirname "$0")"
rm -rf pass fail
mkdir -p pass fail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

/usr/bin/python3 make_corpus.py

# libxlsxwriter: normal mode (shared strings) and constant-memory mode (inline strings)
cc -O1 -o "$work/write_table" write_table.c -lxlsxwriter
"$work/write_table" pass/xlsxwriter_shared_strings.xlsx
"$work/write_table" pass/xlsxwriter_constant_memory.xlsx constant
for c in xlsxwriter_shared_strings xlsxwriter_constant_memory; do
  cp pass/openpyxl_absolute_targets.expected pass/$c.expected
done

# LibreOffice re-saves the libxlsxwriter table as xlsx, xls and ods, and writes
# password-protected copies.
if command -v soffice >/dev/null && /usr/bin/python3 -c 'import uno' 2>/dev/null; then
  HOME="$work" /usr/bin/python3 lo_convert.py "$work" pass/xlsxwriter_shared_strings.xlsx
  cp "$work/out/table.xlsx" pass/libreoffice.xlsx
  cp "$work/out/table.xls" pass/libreoffice.xls
  cp "$work/out/table.ods" pass/libreoffice.ods
  for e in xlsx xls ods; do
    mv pass/libreoffice.$e pass/libreoffice_$e.$e
    cp pass/openpyxl_absolute_targets.expected pass/libreoffice_$e.expected
  done
  cp "$work/out/password.xls" fail/password.xls
  printf '1004\npassword.xls\nKennwort\n' > fail/password.expected
  cp "$work/out/password.ods" fail/password_ods.ods
  printf '1004\npassword_ods.ods\nKennwort\n' > fail/password_ods.expected
else
  echo "LibreOffice or python3-uno missing: LibreOffice files not regenerated" >&2
  exit 1
fi
ls -l pass fail
