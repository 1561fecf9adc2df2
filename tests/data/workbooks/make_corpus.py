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


def handmade_dates_1900(path):
    """Serial dates around the 1900 leap-year bug, rounding, number texts."""
    styles = ('<numFmts count="3"><numFmt numFmtId="164" formatCode="d/m/yyyy;@"/>'
              '<numFmt numFmtId="165" formatCode="0.00 &quot;Tage&quot;"/>'
              '<numFmt numFmtId="166" formatCode="[Red]0.00;[Blue]\\-0.00"/></numFmts>'
              '<cellXfs count="6"><xf numFmtId="0"/><xf numFmtId="14"/><xf numFmtId="164"/>'
              '<xf numFmtId="165"/><xf numFmtId="166"/><xf numFmtId="20"/></cellXfs>')
    dates = [1, 59, 60, 61, 45366.4375, 45366.9999999, 2958465]
    numbers = ["0.1", "0.30000000000000004", "1E-7", "1E+20", "123456789012", "-0", "54.200000000000003", "1.5E-3"]
    rows = []
    for i, serial in enumerate(dates, start=1):
        rows.append(f'<row r="{i}"><c r="A{i}" s="{1 if i % 2 else 2}"><v>{serial}</v></c></row>')
    for i, text in enumerate(numbers, start=len(dates) + 1):
        rows.append(f'<row r="{i}"><c r="A{i}"><v>{text}</v></c><c r="B{i}" s="{3 if i % 2 else 4}"><v>{text}</v></c></row>')
    rows.append('<row r="20"><c r="A20" s="5"><v>0.5</v></c><c r="B20" s="5"><v>0</v></c></row>')
    hand_xlsx(path, "".join(rows), "", None, styles)
    return """A1\t01.01.1900
A2\t28.02.1900
A3\t29.02.1900
A4\t01.03.1900
A5\t15.03.2024 10:30:00
A6\t16.03.2024
A7\t31.12.9999
A8\t0,1
B8\t0,1
A9\t0,30000000000000004
B9\t0,30000000000000004
A10\t0,0000001
B10\t0,0000001
A11\t100000000000000000000
B11\t100000000000000000000
A12\t123456789012
B12\t123456789012
A13\t0
B13\t0
A14\t54,2
B14\t54,2
A15\t0,0015
B15\t0,0015
A20\t12:00:00
B20\t00:00:00
"""


ODS_NS = ('xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
          'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
          'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
          'xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"')


def hand_ods(path, table_xml, prefix_table="table"):
    content = (f'<?xml version="1.0" encoding="UTF-8"?><office:document-content {ODS_NS}>'
               f'<office:body><office:spreadsheet>{table_xml}</office:spreadsheet></office:body></office:document-content>')
    if prefix_table != "table":  # the same document under other prefixes
        for old in ("<table:", "</table:", " table:"):
            content = content.replace(old, old.replace("table:", prefix_table + ":"))
        content = content.replace("xmlns:table=", f"xmlns:{prefix_table}=")
    with zipfile.ZipFile(path, "w") as z:
        z.writestr(zipfile.ZipInfo("mimetype"), "application/vnd.oasis.opendocument.spreadsheet")
        z.writestr("META-INF/manifest.xml", '<?xml version="1.0"?><manifest:manifest xmlns:manifest='
                   '"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0"><manifest:file-entry '
                   'manifest:full-path="/" manifest:media-type="application/vnd.oasis.opendocument.spreadsheet"/>'
                   '</manifest:manifest>', zipfile.ZIP_DEFLATED)
        z.writestr("content.xml", content, zipfile.ZIP_DEFLATED)


def handmade_ods(path):
    """What LibreOffice's own files do not show: groups, repeats with content,
    covered cells, annotations, percentages, times, other prefixes."""
    cell = '<table:table-cell office:value-type="{t}" {a}><text:p>{p}</text:p></table:table-cell>'
    table = ('<table:table table:name="Eins"><table:table-column table:number-columns-repeated="3"/>'
             '<table:table-header-rows><table:table-row>'
             + cell.format(t="string", a="", p="Kopf  mit\n Umbruch<text:s text:c=\"3\"/>x<text:tab/>y<text:line-break/>z")
             + '<table:table-cell table:number-columns-spanned="2" office:value-type="string"><text:p>verbunden</text:p>'
               '<office:annotation><text:p>Notiz</text:p></office:annotation></table:table-cell>'
               '<table:covered-table-cell/>'
             + cell.format(t="percentage", a='office:value="0.25"', p="25 %")
             + '</table:table-row></table:table-header-rows>'
             '<table:table-row-group><table:table-row table:number-rows-repeated="2">'
             '<table:table-cell table:number-columns-repeated="2" office:value-type="float" office:value="7"><text:p>7</text:p></table:table-cell>'
             + cell.format(t="time", a='office:time-value="PT36H05M30.6S"', p="36:05:31")
             + '</table:table-row></table:table-row-group>'
             '<table:table-row table:number-rows-repeated="3"><table:table-cell table:number-columns-repeated="1024"/></table:table-row>'
             '<table:table-row>'
             + cell.format(t="string", a='office:string-value="Attribut"', p="gezeigt")
             + cell.format(t="currency", a='office:value="-1234.5" office:currency="EUR"', p="-1.234,50 €")
             + cell.format(t="date", a='office:date-value="2024-02-29T23:59:59.6"', p="")
             + '<table:table-cell><text:p>ohne Typ</text:p></table:table-cell>'
             + cell.format(t="boolean", a='office:boolean-value="false"', p="FALSCH")
             + '</table:table-row></table:table>'
             '<table:table table:name="Zwei"><table:table-row><table:table-cell office:value-type="string">'
             '<text:p>falsch</text:p></table:table-cell></table:table-row></table:table>')
    hand_ods(path, table, prefix_table="tbl")
    return """A1\tKopf mit Umbruch   x\\ty\\nz
B1\tverbunden
D1\t0,25
A2\t7
B2\t7
C2\t36:05:31
A3\t7
B3\t7
C3\t36:05:31
A7\tAttribut
B7\t-1234,5
C7\t01.03.2024
D7\tohne Typ
E7\tFalsch
"""


def biff_record(rtype, data=b""):
    return struct.pack("<HH", rtype, len(data)) + data


def ole_file(path, workbook_stream, stream_name="Workbook"):
    """An OLE2 compound file holding one stream (xlwt names it "Workbook")."""
    doc = CompoundDoc.XlsDoc()
    doc.save(path, workbook_stream)
    if stream_name != "Workbook":
        with open(path, "rb") as f:
            data = bytearray(f.read())
        old = "Workbook\0".encode("utf-16-le")
        at = data.index(old)
        name = (stream_name + "\0").encode("utf-16-le")
        data[at:at + 64] = name.ljust(64, b"\0")
        data[at + 64:at + 66] = struct.pack("<H", len(name))
        write(path, bytes(data))


def xlwt_1904(path):
    """Mac workbooks count days from 1904 (DATEMODE record)."""
    wb = xlwt.Workbook()
    wb.dates_1904 = True
    ws = wb.add_sheet("Mac")
    ws.write(0, 0, datetime.date(2024, 3, 15), xlwt.easyxf(num_format_str="DD.MM.YYYY"))
    ws.write(0, 1, datetime.datetime(1904, 1, 1, 6, 0), xlwt.easyxf(num_format_str="M/D/YY h:mm"))
    ws.write(0, 2, 448)
    wb.save(path)
    expect_pass("xlwt_1904", "A1\t15.03.2024\nB1\t01.01.1904 06:00:00\nC1\t448\n")


def xlwt_long_strings(path):
    """Shared strings beyond one record: SST CONTINUE records split strings,
    compressed and UTF-16 ones, at the character data."""
    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("Lang")
    lines = []
    for r in range(60):
        text = ("Bayreuth-Münchberg " if r % 3 else "Wald € Nord ") * (r + 5) + str(r)
        ws.write(r, 0, text)
        ws.write(r, 1, r * 1000 + 0.5)
        lines.append(f"A{r + 1}\t{text}\nB{r + 1}\t{r * 1000},5\n")
    wb.save(path)
    expect_pass("xlwt_long_strings", "".join(lines))


def main():
    os.makedirs(PASS, exist_ok=True)
    os.makedirs(FAIL, exist_ok=True)
    random.seed(4711)

    openpyxl_table(os.path.join(PASS, "openpyxl_absolute_targets.xlsx"))
    expect_pass("openpyxl_absolute_targets")
    xlwt_table(os.path.join(PASS, "xlwt_biff8.xls"))
    expect_pass("xlwt_biff8")
    expect_pass("handmade_features", handmade_features(os.path.join(PASS, "handmade_features.xlsx")))

    expect_pass("handmade_dates_1900", handmade_dates_1900(os.path.join(PASS, "handmade_dates_1900.xlsx")))
    expect_pass("handmade_features_ods", handmade_ods(os.path.join(PASS, "handmade_features_ods.ods")))
    xlwt_long_strings(os.path.join(PASS, "xlwt_long_strings.xls"))
    xlwt_1904(os.path.join(PASS, "xlwt_1904.xls"))

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
    write(os.path.join(FAIL, "junk_nul.csv"), junk[:1500])
    expect_fail("junk_nul", 1004, "junk_nul.csv", "keine Arbeitsmappe")
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
    ole_file(os.path.join(FAIL, "excel95_book_stream.xls"), bof5 + biff_record(0x000A) + b"\0" * 4096, "Book")
    expect_fail("excel95_book_stream", 1004, "excel95_book_stream.xls", "Excel 5.0/95")
    # A password-protected xlsx is an OLE2 file with an EncryptedPackage stream.
    ole_file(os.path.join(FAIL, "password_ooxml.xlsx"), b"\1" * 8192, "EncryptedPackage")
    expect_fail("password_ooxml", 1004, "password_ooxml.xlsx", "Kennwort")
    hand_ods(os.path.join(FAIL, "ods_formula_without_value.ods"),
             '<table:table><table:table-row><table:table-cell office:value-type="float" office:value="1"/>'
             '<table:table-cell table:formula="of:=[.A1]*2"/></table:table-row></table:table>')
    expect_fail("ods_formula_without_value", 1004, "ods_formula_without_value.ods", "B1")
    # A million rows with content: refused as too large, not allocated.
    hand_ods(os.path.join(FAIL, "ods_repeated_million.ods"),
             '<table:table><table:table-row table:number-rows-repeated="1048576">'
             '<table:table-cell table:number-columns-repeated="9" office:value-type="float" office:value="1"/>'
             '</table:table-row></table:table>')
    expect_fail("ods_repeated_million", 1004, "ods_repeated_million.ods", "zu viele Zellen")
    # An OLE2 file that is no workbook at all, and a BIFF8 stream cut short.
    biff8 = xlwt.Workbook()
    biff8.add_sheet("A").write(0, 0, "x" * 100)
    stream = biff8.get_biff_data()
    ole_file(os.path.join(FAIL, "biff_cut_short.xls"), stream[: len(stream) - 200])
    expect_fail("biff_cut_short", 1004, "biff_cut_short.xls")
    fuzz_findings()


def fuzz_findings():
    """Faults the fuzz targets (tests/fuzz) found, each written small by hand."""
    # One cell far to the right in each of 8,000 rows: 40 KB of xlsx took more
    # than 2 GB, since a row is stored up to its last cell.
    hand_xlsx(os.path.join(FAIL, "far_right_cells.xlsx"),
              "".join(f'<row r="{r}"><c r="XFD{r}"><v>1</v></c></row>' for r in range(1, 8001)))
    expect_fail("far_right_cells", 1004, "far_right_cells.xlsx", "zu viele Zellen")
    # The same in ods, with one repeated row.
    hand_ods(os.path.join(FAIL, "ods_far_right_cells.ods"),
             '<table:table><table:table-row table:number-rows-repeated="8000">'
             '<table:table-cell table:number-columns-repeated="16383"/>'
             '<table:table-cell office:value-type="float" office:value="1"/>'
             '</table:table-row></table:table>')
    expect_fail("ods_far_right_cells", 1004, "ods_far_right_cells.ods", "zu viele Zellen")


if __name__ == "__main__":
    sys.exit(main())
