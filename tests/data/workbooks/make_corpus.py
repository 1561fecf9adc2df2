#!/usr/bin/python3
"""Writes the Python-made part of the reader corpus (openpyxl, xlwt, hand-made
zips, CSV, broken files) and the expected dumps. Run through make_corpus.sh."""
import datetime
import os
import random
import struct
import sys
import zipfile

import openpyxl
import xlwt
from xlwt import CompoundDoc

HERE = os.path.dirname(os.path.abspath(__file__))
PASS = os.path.join(HERE, "pass")
FAIL = os.path.join(HERE, "fail")

HEADINGS = ["Lfdnr", "Name", "Anteil", "Kennung", "Datum", "Zeitpunkt", "Aktiv", "Summe", "Bemerkung"]
# The table every producer writes; None leaves the cell empty. The formulas
# (column H) are written as values where the producer cannot store a result.
ROWS = [
    [448, "Bayreuth-Münchberg", 2.5, "000123", datetime.date(2024, 3, 15),
     datetime.datetime(2024, 3, 15, 10, 30), True, 460, "Ende"],
    [12, "  mit Blanks  ", 54.2, None, datetime.date(1999, 12, 31), None, False, 5, "Straße"],
    [-3, "Ä Ö Ü €", -1.25, 1234567, None, None, None, "Ende!", None],
]
# What the reader must make of that table.
TABLE_EXPECTED = """A1\tLfdnr
B1\tName
C1\tAnteil
D1\tKennung
E1\tDatum
F1\tZeitpunkt
G1\tAktiv
H1\tSumme
I1\tBemerkung
A2\t448
B2\tBayreuth-Münchberg
C2\t2,5
D2\t000123
E2\t15.03.2024
F2\t15.03.2024 10:30:00
G2\tWahr
H2\t460
I2\tEnde
A3\t12
B3\t  mit Blanks  
C3\t54,2
E3\t31.12.1999
G3\tFalsch
H3\t5
I3\tStraße
A4\t-3
B4\tÄ Ö Ü €
C4\t-1,25
D4\t1234567
H4\tEnde!
"""


def write(path, data, mode="wb"):
    with open(path, mode) as f:
        f.write(data)


def expect_pass(case, text=TABLE_EXPECTED):
    write(os.path.join(PASS, case + ".expected"), text.encode("utf-8"))


def expect_fail(case, number, *fragments):
    """First line the error number, then text the description must contain."""
    lines = [str(number)] + list(fragments)
    write(os.path.join(FAIL, case + ".expected"), ("\n".join(lines) + "\n").encode("utf-8"))


def openpyxl_table(path, with_formulas=False):
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Tabelle1"
    ws.append(HEADINGS)
    for r, row in enumerate(ROWS, start=2):
        for c, value in enumerate(row, start=1):
            if value is None:
                continue
            cell = ws.cell(row=r, column=c, value=value)
            if c == 4 and isinstance(value, str):
                cell.number_format = "@"
            if c == 5:
                cell.number_format = "mm-dd-yy"  # built-in 14
            if c == 6:
                cell.number_format = "dd.mm.yyyy hh:mm"
    if with_formulas:
        ws["H2"] = "=A2+A3"  # openpyxl stores no result
    wb.create_sheet("Zweites")
    wb.save(path)


def xlwt_table(path):
    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("Tabelle1")
    builtin_date = xlwt.easyxf(num_format_str="M/D/YY")  # built-in 14
    stamp = xlwt.easyxf(num_format_str="DD.MM.YYYY hh:mm")
    text = xlwt.easyxf(num_format_str="@")
    for c, h in enumerate(HEADINGS):
        ws.write(0, c, h)
    for r, row in enumerate(ROWS, start=1):
        for c, value in enumerate(row):
            if value is None:
                continue
            if c == 4:
                ws.write(r, c, value, builtin_date)
            elif c == 5:
                ws.write(r, c, value, stamp)
            elif c == 3 and isinstance(value, str):
                ws.write(r, c, value, text)
            else:
                ws.write(r, c, value)
    wb.add_sheet("Zweites")
    wb.save(path)


def csv_table(delimiter):
    """The table as German spreadsheet software saves it as text."""
    def field(v):
        if v is None:
            return ""
        if isinstance(v, bool):
            return "WAHR" if v else "FALSCH"
        if isinstance(v, datetime.datetime):
            return v.strftime("%d.%m.%Y %H:%M")
        if isinstance(v, datetime.date):
            return v.strftime("%d.%m.%Y")
        s = str(v).replace(".", ",") if isinstance(v, float) else str(v)
        if delimiter in s or '"' in s or "\n" in s:
            s = '"' + s.replace('"', '""') + '"'
        return s
    lines = [delimiter.join(HEADINGS)]
    for row in ROWS:
        lines.append(delimiter.join(field(v) for v in row))
    # A quoted value with the separator, a doubled quote and a line break.
    lines.append(delimiter.join(["7", '"Wald ""Nord""' + delimiter + ' Teil 1\nTeil 2"', "", "„Zitat“"]))
    return "\r\n".join(lines) + "\r\n"


CSV_EXPECTED = """A1\tLfdnr
B1\tName
C1\tAnteil
D1\tKennung
E1\tDatum
F1\tZeitpunkt
G1\tAktiv
H1\tSumme
I1\tBemerkung
A2\t448
B2\tBayreuth-Münchberg
C2\t2,5
D2\t000123
E2\t15.03.2024
F2\t15.03.2024 10:30
G2\tWAHR
H2\t460
I2\tEnde
A3\t12
B3\t  mit Blanks  
C3\t54,2
E3\t31.12.1999
G3\tFALSCH
H3\t5
I3\tStraße
A4\t-3
B4\tÄ Ö Ü €
C4\t-1,25
D4\t1234567
H4\tEnde!
A5\t7
B5\tWald "Nord"{d} Teil 1\\nTeil 2
D5\t„Zitat“
"""

CONTENT_TYPES = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">
<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>
<Default Extension="xml" ContentType="application/xml"/>
<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>
<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>
</Types>"""
ROOT_RELS = """<?xml version="1.0" encoding="UTF-8"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>
</Relationships>"""
NS = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"'


def hand_xlsx(path, sheet_xml, workbook_pr="", shared=None, styles=None):
    rels = ['<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/>']
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", CONTENT_TYPES)
        z.writestr("_rels/.rels", ROOT_RELS)
        z.writestr("xl/workbook.xml", f'<?xml version="1.0"?><workbook {NS}>{workbook_pr}'
                   '<sheets><sheet name="Daten" sheetId="1" r:id="rId1"/></sheets></workbook>')
        if shared is not None:
            rels.append('<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml"/>')
            z.writestr("xl/sharedStrings.xml", f'<?xml version="1.0"?><sst {NS}>{shared}</sst>')
        if styles is not None:
            rels.append('<Relationship Id="rId3" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="../xl/./styles.xml"/>')
            z.writestr("xl/styles.xml", f'<?xml version="1.0"?><styleSheet {NS}>{styles}</styleSheet>')
        z.writestr("xl/_rels/workbook.xml.rels", '<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                   + "".join(rels) + "</Relationships>")
        z.writestr("xl/worksheets/sheet1.xml", f'<?xml version="1.0"?><worksheet {NS}><sheetData>{sheet_xml}</sheetData></worksheet>')


def handmade_features(path):
    """What no producer of the corpus writes but others do."""
    shared = ('<si><t>Kopf</t></si>'
              '<si><r><t>Rich</t></r><r><rPr><b/></rPr><t xml:space="preserve"> Text</t></r><rPh sb="0" eb="1"><t>X</t></rPh></si>'
              '<si><t>Zeile_x000D_</t></si>')
    styles = ('<numFmts count="2"><numFmt numFmtId="164" formatCode="[$-407]DD/MM/YYYY"/>'
              '<numFmt numFmtId="165" formatCode="#,##0.00 &quot;Std&quot;"/></numFmts>'
              '<cellXfs count="4"><xf numFmtId="0"/><xf numFmtId="164"/><xf numFmtId="165"/><xf numFmtId="22"/></cellXfs>')
    sheet = ('<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c><c r="C1" t="s"><v>2</v></c></row>'
             # cells and rows without r: positions follow on
             '<row><c><v>1</v></c><c s="1"><v>0</v></c><c s="2"><v>7.5</v></c><c s="3"><v>1.5</v></c></row>'
             '<row r="5"><c r="A5" t="d"><v>2024-02-29T00:00:00</v></c><c r="B5" t="e"><f>1/0</f><v>#DIV/0!</v></c>'
             '<c r="C5"><f t="shared" ref="C5:C6" si="0">A2*3</f><v>3</v></c><c r="D5" t="str"><f>""</f><v></v></c>'
             '<c r="E5" s="0"/><c r="F5" t="inlineStr"><is><t>inline</t></is></c></row>'
             '<row r="6"><c r="C6"><f t="shared" si="0"/><v>0.1</v></c><c r="AA6"><v>1E-3</v></c></row>')
    # date1904: serial 0 is 01.01.1904
    hand_xlsx(path, sheet, '<workbookPr date1904="1"/>', shared, styles)
    return """A1\tKopf
B1\tRich Text
C1\tZeile\\r
A2\t1
B2\t01.01.1904
C2\t7,5
D2\t02.01.1904 12:00:00
A5\t29.02.2024
B5\t#DIV/0!
C5\t3
F5\tinline
C6\t0,1
AA6\t0,001
"""


def biff_record(rtype, data=b""):
    return struct.pack("<HH", rtype, len(data)) + data


def ole_file(path, workbook_stream):
    """An OLE2 compound file holding one stream named "Workbook"."""
    doc = CompoundDoc.XlsDoc()
    doc.save(path, workbook_stream)


def main():
    os.makedirs(PASS, exist_ok=True)
    os.makedirs(FAIL, exist_ok=True)
    random.seed(4711)

    openpyxl_table(os.path.join(PASS, "openpyxl_absolute_targets.xlsx"))
    expect_pass("openpyxl_absolute_targets")
    xlwt_table(os.path.join(PASS, "xlwt_biff8.xls"))
    expect_pass("xlwt_biff8")
    expect_pass("handmade_features", handmade_features(os.path.join(PASS, "handmade_features.xlsx")))

    write(os.path.join(PASS, "excel_cp1252_semicolon.csv"), csv_table(";").encode("cp1252"))
    expect_pass("excel_cp1252_semicolon", CSV_EXPECTED.replace("{d}", ";"))
    write(os.path.join(PASS, "utf8_bom_comma.csv"), b"\xef\xbb\xbf" + csv_table(",").replace("\r\n", "\n").encode("utf-8"))
    expect_pass("utf8_bom_comma", CSV_EXPECTED.replace("{d}", ","))

    # --- files that must fail cleanly ---
    write(os.path.join(FAIL, "empty.xlsx"), b"")
    expect_fail("empty", 1004, "empty.xlsx", "leer")
    with open(os.path.join(PASS, "openpyxl_absolute_targets.xlsx"), "rb") as f:
        whole = f.read()
    write(os.path.join(FAIL, "truncated.xlsx"), whole[: len(whole) // 2])
    expect_fail("truncated", 1004, "truncated.xlsx", "beschädigt")
    junk = bytes(random.randrange(256) for _ in range(3000))
    write(os.path.join(FAIL, "junk.xlsx"), junk)
    expect_fail("junk", 1004, "junk.xlsx", "keine Arbeitsmappe")
    # Without NUL bytes: junk that only the control characters give away.
    write(os.path.join(FAIL, "junk_text.csv"), bytes(b if b else 0x41 for b in junk[1000:]))
    expect_fail("junk_text", 1004, "junk_text.csv", "keine Arbeitsmappe")
    # Windows-1252 leaves 0x81, 0x8D, 0x8F, 0x90 and 0x9D unassigned.
    write(os.path.join(FAIL, "unassigned_cp1252.csv"), b"Name;Ort\r\nM\xfcller;Hof\x81\r\n")
    expect_fail("unassigned_cp1252", 1004, "unassigned_cp1252.csv", "keine Arbeitsmappe")
    write(os.path.join(FAIL, "unterminated_quote.csv"),
          'Lfdnr;Name\r\n1;Nord\r\n2;"Süd\r\n3;West\r\n'.encode("cp1252"))
    expect_fail("unterminated_quote", 1004, "unterminated_quote.csv", "Zeile 3")

    hand_xlsx(os.path.join(FAIL, "formula_without_result.xlsx"),
              '<row r="1"><c r="A1"><v>1</v></c></row><row r="5"><c r="A5"><v>2</v></c>'
              '<c r="B5"><f>SUM(A1:A4)</f></c></row>')
    expect_fail("formula_without_result", 1004, "formula_without_result.xlsx", "B5")
    openpyxl_table(os.path.join(FAIL, "openpyxl_formula.xlsx"), with_formulas=True)
    expect_fail("openpyxl_formula", 1004, "openpyxl_formula.xlsx", "H2")

    # BIFF5 (Excel 5.0/95) is refused by name, not misread.
    bof5 = biff_record(0x0809, struct.pack("<HHHH", 0x0500, 0x0005, 0x0DBB, 0x07CC))
    ole_file(os.path.join(FAIL, "excel95.xls"), bof5 + biff_record(0x000A) + b"\0" * 4096)
    expect_fail("excel95", 1004, "excel95.xls", "Excel 5.0/95")
    # An OLE2 file that is no workbook at all, and a BIFF8 stream cut short.
    biff8 = xlwt.Workbook()
    biff8.add_sheet("A").write(0, 0, "x" * 100)
    stream = biff8.get_biff_data()
    ole_file(os.path.join(FAIL, "biff_cut_short.xls"), stream[: len(stream) - 200])
    expect_fail("biff_cut_short", 1004, "biff_cut_short.xls")


if __name__ == "__main__":
    sys.exit(main())
