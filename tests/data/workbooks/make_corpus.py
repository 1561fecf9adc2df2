#!/usr/bin/python3
"""Writes the Python-made part of the reader corpus (openpyxl, xlwt, hand-made
zips, CSV, broken files). The expected dumps beside them are written by hand.
Run through make_corpus.sh."""
import datetime
import hashlib
import io
import os
import random
import struct
import sys
import zipfile

import olefile
import openpyxl
import xlwt
from xlwt import CompoundDoc

from compound_file import RIGHT, SIZE, START, compound_file

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


def write(path, data):
    open(path, "wb").write(data)



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


def xlsx_members(sheet_xml, workbook_pr="", shared=None, styles=None, extensions=""):
    """The parts of a one-sheet xlsx, by name."""
    rels = ['<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/>']
    members = {"[Content_Types].xml": CONTENT_TYPES, "_rels/.rels": ROOT_RELS,
               "xl/workbook.xml": f'<?xml version="1.0"?><workbook {NS}>{workbook_pr}'
               f'<sheets><sheet name="Daten" sheetId="1" r:id="rId1"/></sheets>{extensions}</workbook>'}
    if shared is not None:
        rels.append('<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml"/>')
        members["xl/sharedStrings.xml"] = f'<?xml version="1.0"?><sst {NS}>{shared}</sst>'
    if styles is not None:
        rels.append('<Relationship Id="rId3" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="../xl/./styles.xml"/>')
        members["xl/styles.xml"] = f'<?xml version="1.0"?><styleSheet {NS}>{styles}</styleSheet>'
    members["xl/_rels/workbook.xml.rels"] = ('<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                                             + "".join(rels) + "</Relationships>")
    members["xl/worksheets/sheet1.xml"] = f'<?xml version="1.0"?><worksheet {NS}><sheetData>{sheet_xml}</sheetData></worksheet>'
    return members


def write_zip(path, members):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in members.items():
            z.writestr(name, data)


def hand_xlsx(path, *args, **kwargs):
    write_zip(path, xlsx_members(*args, **kwargs))


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
    # date1904: serial 0 is 01.01.1904; the extension's x15:workbookPr, which
    # newer producers write after it, once turned the flag off again.
    hand_xlsx(path, sheet, '<workbookPr date1904="1"/>', shared, styles,
              '<extLst><ext uri="{140A7094-0E35-4892-8432-C4D2E57EDEB5}" xmlns:x15="http://schemas.microsoft.com/'
              'office/spreadsheetml/2010/11/main"><x15:workbookPr chartTrackingRefBase="1"/></ext></extLst>')


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


ODS_NS = ('xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
          'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
          'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
          'xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2" '
          'xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" '
          'xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0"')


def hand_ods(path, table_xml, prefix_table="table", mimetype=True, styles="", cut_after=None):
    content = (f'<?xml version="1.0" encoding="UTF-8"?><office:document-content {ODS_NS}>'
               f'<office:automatic-styles>{styles}</office:automatic-styles><office:body><office:spreadsheet>{table_xml}</office:spreadsheet></office:body></office:document-content>')
    if cut_after:  # content.xml cut short there
        content = content[:content.rindex(cut_after) + len(cut_after)]
    if prefix_table != "table":  # the same document under other prefixes
        for old in ("<table:", "</table:", " table:"):
            content = content.replace(old, old.replace("table:", prefix_table + ":"))
        content = content.replace("xmlns:table=", f"xmlns:{prefix_table}=")
    with zipfile.ZipFile(path, "w") as z:
        if mimetype:
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
             # more than 31 years, once shown as the attribute
             + cell.format(t="time", a='office:time-value="PT296296H17M36S"', p="296296:17:36")
             + '</table:table-row></table:table>'
             '<table:table table:name="Zwei"><table:table-row><table:table-cell office:value-type="string">'
             '<text:p>falsch</text:p></table:table-cell></table:table-row></table:table>')
    hand_ods(path, table, prefix_table="tbl")


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
    write(os.path.join(PASS, "xlwt_long_strings.expected"), "".join(lines).encode())


# Text files as German users save them, each showing one way to split them.
CSV_CASES = {
    "semicolon_decimal_commas": b"Hgnr;Belast\r\n12;2,5\r\n13;3,75\r\n",
    "comma_quoted_decimal_commas": b'Hgnr,Belast\n12,"2,5"\n',
    "semicolon_wins_a_tie": b"Name, Vorname;Ort\nMeier, Hans;Hof\n",
    "separator_inside_quotes": b'"a;b;c",d\n"e;f;g",h\n',
    "tab_separated": b"a\tb\n1\t2\n",
    "one_column_leading_zeros": b"Lfdnr\n000123\n",
    "blanks_empty_fields_no_final_break": b" a ;;c\n;;",
    "empty_line_keeps_its_row": b"a\n\nb\n",
    "old_mac_line_ends": b"a;b\r1;2\r",
    "quote_inside_unquoted_field": b'5" Rohr;x\n',
    # Every character Windows-1252 has between 0x80 and 0x9F, where it is no Latin-1.
    "cp1252_high_characters": b"\x80;\x84Wald\x93;M\xfcnchberg;"
    + bytes(b for b in range(0x80, 0xA0) if b not in (0x81, 0x8D, 0x8F, 0x90, 0x9D)) + b"\n",
    "utf8_without_bom": "Münchberg;€\n".encode(),
    "sep_line_names_the_separator": b"sep=,\r\na;b,c\r\n",
    "utf16_with_bom": b"\xff\xfe" + "a;ü\n".encode("utf-16-le"),
}


def claim_size(path, size):
    """States another inflated size for the last member (an xlsx's sheet), in both its headers."""
    data = bytearray(open(path, "rb").read())
    struct.pack_into("<I", data, data.rfind(b"PK\x03\x04") + 22, size)
    struct.pack_into("<I", data, data.rfind(b"PK\x01\x02") + 24, size)
    write(path, bytes(data))


def hostile():
    """Small files that would take gigabytes or minutes if the reader let them."""
    one_row = '<row r="1"><c r="A1" t="inlineStr"><is><t>{}</t></is></c></row>'
    hand_xlsx(os.path.join(FAIL, "cell_too_long.xlsx"), '<row r="3"><c r="B3" t="s"><v>0</v></c></row>',
              shared=f"<si><t>{'x' * 40000}</t></si>")
    # A 30,000-character name on a row repeated 9,999 times, and one shared
    # string used by 10,000 cells: each cell is allowed, their sum is not.
    hand_ods(os.path.join(FAIL, "ods_repeated_long_text.ods"),
             '<table:table><table:table-row table:number-rows-repeated="9999"><table:table-cell '
             'table:number-columns-repeated="9" office:value-type="string"><text:p>' + "Name " * 6000
             + '</text:p></table:table-cell></table:table-row></table:table>')
    hand_xlsx(os.path.join(FAIL, "shared_string_everywhere.xlsx"),
              "".join(f'<row r="{r}"><c r="A{r}" t="s"><v>0</v></c></row>' for r in range(1, 10001)),
              shared=f"<si><t>{'y' * 30000}</t></si>")
    # A part stating 100 MB for 200 packed bytes, and one inflating beyond what it states.
    hand_xlsx(os.path.join(FAIL, "inflation_out_of_proportion.xlsx"), one_row.format("x"))
    claim_size(os.path.join(FAIL, "inflation_out_of_proportion.xlsx"), 100 << 20)
    hand_xlsx(os.path.join(FAIL, "inflates_beyond_stated_size.xlsx"), one_row.format("x" * 5000))
    claim_size(os.path.join(FAIL, "inflates_beyond_stated_size.xlsx"), 300)
    # &nbsp; from a hand-edited sheet: the refusal must read as German.
    hand_xlsx(os.path.join(FAIL, "html_entity.xlsx"), one_row.format("Wald&nbsp;Nord"))
    # Half characters become U+FFFD, a NUL stays in the value.
    hand_xlsx(os.path.join(PASS, "broken_characters.xlsx"),
              '<row r="1"><c r="A1" t="inlineStr"><is><t>a_xD800_b</t></is></c><c r="B1" t="inlineStr"><is>'
              '<t>&#xD800;</t></is></c><c r="C1" t="str"><v>x_x0000_y</v></c><c r="D1" t="inlineStr"><is>'
              '<t>&#x1F98C;_xD83E__xDD8C_</t></is></c></row>')


def rc4(key, data):
    s, j = list(range(256)), 0
    for i in range(256):
        j = (j + s[i] + key[i % len(key)]) % 256
        s[i], s[j] = s[j], s[i]
    out, i, j = bytearray(), 0, 0
    for byte in data:
        i = (i + 1) % 256
        j = (j + s[i]) % 256
        s[i], s[j] = s[j], s[i]
        out.append(byte ^ s[(s[i] + s[j]) % 256])
    return bytes(out)


def file_pass(password, key_bits):
    """FILEPASS for RC4 (key_bits None) or CryptoAPI RC4, and the key of each 1024-byte block."""
    pw, salt, verifier = password.encode("utf-16-le"), bytes(range(16)), bytes(range(100, 116))
    if key_bits is None:
        h1 = hashlib.md5((hashlib.md5(pw).digest()[:5] + salt) * 16).digest()[:5]
        key = lambda block: hashlib.md5(h1 + struct.pack("<I", block)).digest()
        sealed = rc4(key(0), verifier + hashlib.md5(verifier).digest())
        return struct.pack("<HHH", 1, 1, 1) + salt + sealed, key
    h0 = hashlib.sha1(salt + pw).digest()
    key = lambda block: hashlib.sha1(h0 + struct.pack("<I", block)).digest()[:key_bits // 8].ljust(16, b"\0")
    sealed = rc4(key(0), verifier + hashlib.sha1(verifier).digest())
    header = struct.pack("<8I", 4, 0, 0x6801, 0x8004, key_bits, 1, 0, 0) + "Tarvel\0".encode("utf-16-le")
    return (struct.pack("<HHHII", 1, 4, 2, 4, len(header)) + header + struct.pack("<I", 16) + salt
            + sealed[:16] + struct.pack("<I", 20) + sealed[16:]), key


def encrypt_records(stream, key):
    """Encrypts the bodies after FILEPASS as the format does: the key stream runs
    by stream position, headers and a few records stay plain."""
    out, pos, past_file_pass = bytearray(stream), 0, False
    while pos + 4 <= len(out):
        kind, size = struct.unpack_from("<HH", out, pos)
        start = pos + 4 + (4 if kind == 0x0085 else 0)
        if past_file_pass and kind not in (0x0809, 0x002F, 0x0194, 0x0195, 0x00E1, 0x0196, 0x0138):
            for at in range(start, pos + 4 + size):
                out[at] ^= rc4(key(at // 1024), bytes(1024))[at % 1024]
        past_file_pass |= kind == 0x002F
        pos += 4 + size
    return bytes(out)


def biff8_stream(cells, globals_records=b""):
    """A BIFF8 workbook stream: globals, then one sheet holding the cell records."""
    def bof(kind):
        return biff_record(0x0809, struct.pack("<HHHHII", 0x0600, kind, 0x0DBB, 0x07CC, 0, 6))

    def globals_part(sheet_at):
        return (bof(5) + globals_records + biff_record(0x0085, struct.pack("<IBBBB", sheet_at, 0, 0, 5, 0) + b"Daten")
                + biff_record(0x000A))
    stream = globals_part(len(globals_part(0))) + bof(0x10) + cells + biff_record(0x000A)
    # The container pads the stream with zeros: whole empty records, for readers that walk on.
    return stream + (biff_record(0, bytes(4 - len(stream) % 4)) if len(stream) % 4 else b"")


def biff_cell(kind, row, column, body, xf=0):
    return biff_record(kind, struct.pack("<HHH", row, column, xf) + body)


def biff_label(row, column, text):
    return biff_cell(0x0204, row, column, struct.pack("<HB", len(text), 0) + text.encode("latin-1"))


def formula(kind, row, column, result):
    return biff_cell(kind, row, column, struct.pack("<dHIH", result, 0, 0, 3) + b"\x1e\x01\x00")


def encrypted_xls(path, password, key_bits):
    """The table of encrypted_table.expected, encrypted as the spreadsheet program does."""
    record, key = file_pass(password, key_bits)
    plain = biff8_stream(biff_label(0, 0, "Lfdnr") + biff_label(0, 1, "Name") + biff_cell(0x0203, 1, 0, struct.pack("<d", 448))
                         + biff_label(1, 1, "Bayreuth-M\xfcnchberg"), biff_record(0x002F, record))
    ole_file(path, encrypt_records(plain, key))
    return plain


def check_with_msoffcrypto(path, plain):
    """Our encrypter against an independent decrypter: a misreading of the format
    shared by it and the reader cannot pass unseen."""
    try:
        import msoffcrypto
        import olefile
    except ImportError:
        print("python3-msoffcrypto-tool missing: encrypted files not checked", file=sys.stderr)
        return
    office, out = msoffcrypto.OfficeFile(open(path, "rb")), io.BytesIO()
    office.load_key(password="VelvetSweatshop")
    office.decrypt(out)
    at, size = 20, struct.unpack_from("<H", plain, 22)[0]  # FILEPASS after BOF; msoffcrypto blanks it
    expected = plain[:at] + b"\0\0" + plain[at + 2:at + 4] + bytes(size) + plain[at + 4 + size:]
    assert olefile.OleFileIO(out.getvalue()).openstream("Workbook").read()[:len(plain)] == expected, path


def streamed_zip(path, members, descriptor_crc_delta=0):
    """A zip written as a stream: sizes and checksums follow each member's data,
    its local header asks for zip 4.5 (Zip64) as stream writers do."""
    class Unseekable(io.BytesIO):
        def seek(self, *args):
            raise OSError("a stream")
    out = Unseekable()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in members.items():
            with z.open(name, "w") as member:
                member.write(data.encode() if isinstance(data, str) else data)
    data = bytearray(out.getvalue().replace(b"PK\x03\x04\x14\x00", b"PK\x03\x04\x2d\x00"))
    data[data.find(b"PK\x07\x08") + 4] ^= descriptor_crc_delta  # the first descriptor's checksum
    write(path, bytes(data))


def from_the_wild():
    """Workbooks spreadsheet programs open, in the forms other producers write them."""
    P = lambda name: os.path.join(PASS, name)
    small = '<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1"><v>448</v></c></row>'
    # xls: every record kind that carries a cell value, one cell each (formulas
    # in the older kinds too); the Excel 2.x kinds in a BIFF8 sheet are refused.
    ole_file(P("xls_cell_record_kinds.xls"), biff8_stream(
        biff_cell(0x0203, 0, 0, struct.pack("<d", 2.5)) + biff_cell(0x027E, 0, 1, struct.pack("<I", 7 << 2 | 2))
        + biff_record(0x00BD, struct.pack("<HHHIHIH", 0, 2, 0, 8 << 2 | 2, 0, 9 << 2 | 2, 3)) + biff_cell(0x00FD, 0, 4, bytes(4))
        + biff_label(0, 5, "Label") + biff_cell(0x00D6, 0, 6, struct.pack("<HB", 7, 0) + b"RString" + bytes(2))
        + biff_cell(0x0205, 0, 7, b"\x01\x00") + biff_cell(0x0205, 0, 8, b"\x07\x01")
        + formula(0x0006, 1, 0, 3) + formula(0x0206, 1, 1, 4) + formula(0x0406, 1, 2, 5.5)
        + biff_cell(0x0006, 1, 3, bytes(6) + b"\xff\xff" + struct.pack("<HIH", 0, 0, 3) + b"\x1e\x01\x00")
        + biff_record(0x0207, struct.pack("<HB", 8, 0) + b"Ergebnis"),
        biff_record(0x00FC, struct.pack("<IIHB", 1, 1, 4, 0) + b"Text")))
    for kind in (2, 3, 4, 5):
        ole_file(os.path.join(FAIL, f"xls_excel2_record_{kind}.xls"), biff8_stream(biff_record(kind, bytes(15))))
    # xls protected with the built-in password, by both RC4 schemes; and a real password.
    for name, bits in (("rc4", None), ("cryptoapi", 128), ("cryptoapi_40bit", 40)):
        check_with_msoffcrypto(P(f"xls_default_password_{name}.xls"),
                               encrypted_xls(P(f"xls_default_password_{name}.xls"), "VelvetSweatshop", bits))
    encrypted_xls(os.path.join(FAIL, "xls_real_password.xls"), "geheim", 128)
    # Zips: Windows path separators, written as a stream, and a stream whose data
    # descriptor disagrees with the central directory.
    members = xlsx_members(small, shared="<si><t>Lfdnr</t></si>")
    write_zip(P("xlsx_backslash_names.xlsx"), {name.replace("/", "\\"): data for name, data in members.items()})
    streamed_zip(P("xlsx_streamed.xlsx"), members)
    streamed_zip(os.path.join(FAIL, "streamed_descriptor_disagrees.xlsx"), members, descriptor_crc_delta=1)
    # XML parts in UTF-16 with byte-order marks, little- and big-endian.
    utf16 = dict(members)
    for name, codec in (("xl/workbook.xml", "utf-16-le"), ("xl/worksheets/sheet1.xml", "utf-16-le"),
                        ("xl/sharedStrings.xml", "utf-16-be")):
        utf16[name] = "\ufeff".encode(codec) + utf16[name].replace('version="1.0"', 'version="1.0" encoding="UTF-16"').encode(codec)
    write_zip(P("xlsx_utf16_parts.xlsx"), utf16)
    # A damaged package index beside xl/workbook.xml at its usual place.
    write_zip(P("xlsx_damaged_package_rels.xlsx"), dict(members, **{"_rels/.rels": "<Relationships"}))
    # One empty value in a shared-text cell.
    hand_xlsx(P("xlsx_empty_shared_text.xlsx"), small + '<row r="2"><c r="A2" t="s"><v/></c><c r="B2"><v>12</v></c></row>',
              shared="<si><t>Lfdnr</t></si>")
    hand_ods(P("ods_without_mimetype.ods"), '<table:table><table:table-row><table:table-cell office:value-type="string">'
             '<text:p>Lfdnr</text:p></table:table-cell><table:table-cell office:value-type="time" '
             'office:time-value="PT255H10M10S"/><table:table-cell table:style-name="ce1" office:value-type="time" '
             'office:time-value="PT255H10M10S"/></table:table-row></table:table>', mimetype=False,
             styles='<number:time-style style:name="N1" number:truncate-on-overflow="false"><number:minutes/>'
             '<number:text>:</number:text><number:seconds/></number:time-style>'
             '<style:style style:name="ce1" style:family="table-cell" style:data-style-name="N1"/>')
    # Elapsed times counted in their largest unit; dates and times by the built-in
    # ids other language versions use.
    styles = ('<numFmts count="3"><numFmt numFmtId="164" formatCode="[h]:mm:ss"/><numFmt numFmtId="165" '
              'formatCode="[mm]:ss"/><numFmt numFmtId="166" formatCode="[h]:mm;@"/></numFmts><cellXfs count="10">'
              + "".join(f'<xf numFmtId="{i}"/>' for i in (0, 164, 165, 166, 46, 27, 31, 32, 50, 55)) + '</cellXfs>')
    elapsed = (255 * 3600 + 10 * 60 + 10) / 86400
    hand_xlsx(P("xlsx_elapsed_and_east_asian_dates.xlsx"), "".join(
        f'<row r="{s}"><c r="A{s}" s="{s}"><v>{elapsed if s < 5 else 45366.4375 if s < 7 or s == 8 else 0.4375}</v></c>'
        f'<c r="B{s}" s="{s}"><v>{-elapsed if s < 5 else 45366}</v></c></row>' for s in range(1, 10)), styles=styles)
    xfs = b"".join(biff_record(0x00E0, struct.pack("<HH", 0, i) + bytes(16)) for i in (0, 46, 164, 27, 32))
    ole_file(P("xls_elapsed_and_east_asian_dates.xls"), biff8_stream(
        b"".join(biff_cell(0x0203, r, 0, struct.pack("<d", v), xf=r + 1) for r, v in enumerate((elapsed, elapsed, 45366, 0.4375))),
        biff_record(0x041E, struct.pack("<HHB", 164, 7, 0) + b"[mm]:ss") + xfs))


def main():
    random.seed(4711)

    openpyxl_table(os.path.join(PASS, "openpyxl_absolute_targets.xlsx"))
    xlwt_table(os.path.join(PASS, "xlwt_biff8.xls"))
    handmade_features(os.path.join(PASS, "handmade_features.xlsx"))

    handmade_dates_1900(os.path.join(PASS, "handmade_dates_1900.xlsx"))
    handmade_ods(os.path.join(PASS, "handmade_features_ods.ods"))
    xlwt_long_strings(os.path.join(PASS, "xlwt_long_strings.xls"))
    xlwt_1904(os.path.join(PASS, "xlwt_1904.xls"))

    write(os.path.join(PASS, "excel_cp1252_semicolon.csv"), csv_table(";").encode("cp1252"))
    write(os.path.join(PASS, "utf8_bom_comma.csv"), b"\xef\xbb\xbf" + csv_table(",").replace("\r\n", "\n").encode("utf-8"))

    # --- files that must fail cleanly ---
    write(os.path.join(FAIL, "empty.xlsx"), b"")
    whole = open(os.path.join(PASS, "openpyxl_absolute_targets.xlsx"), "rb").read()
    write(os.path.join(FAIL, "truncated.xlsx"), whole[: len(whole) // 2])
    junk = bytes(random.randrange(256) for _ in range(3000))
    write(os.path.join(FAIL, "junk.xlsx"), junk)
    write(os.path.join(FAIL, "junk_nul.csv"), junk[:1500])
    # Without NUL bytes: junk that only the control characters give away.
    write(os.path.join(FAIL, "junk_text.csv"), bytes(b if b else 0x41 for b in junk[1000:]))
    # Windows-1252 leaves 0x81, 0x8D, 0x8F, 0x90 and 0x9D unassigned.
    write(os.path.join(FAIL, "unassigned_cp1252.csv"), b"Name;Ort\r\nM\xfcller;Hof\x81\r\n")
    write(os.path.join(FAIL, "unterminated_quote.csv"),
          'Lfdnr;Name\r\n1;Nord\r\n2;"Süd\r\n3;West\r\n'.encode("cp1252"))

    hand_xlsx(os.path.join(FAIL, "formula_without_result.xlsx"),
              '<row r="1"><c r="A1"><v>1</v></c></row><row r="5"><c r="A5"><v>2</v></c>'
              '<c r="B5"><f>SUM(A1:A4)</f></c></row>')
    openpyxl_table(os.path.join(FAIL, "openpyxl_formula.xlsx"), with_formulas=True)

    # BIFF5 (Excel 5.0/95) is refused by name, not misread.
    bof5 = biff_record(0x0809, struct.pack("<HHHH", 0x0500, 0x0005, 0x0DBB, 0x07CC))
    ole_file(os.path.join(FAIL, "excel95.xls"), bof5 + biff_record(0x000A) + b"\0" * 4096)
    ole_file(os.path.join(FAIL, "excel95_book_stream.xls"), bof5 + biff_record(0x000A) + b"\0" * 4096, "Book")
    # A password-protected xlsx is an OLE2 file with an EncryptedPackage stream.
    ole_file(os.path.join(FAIL, "password_ooxml.xlsx"), b"\1" * 8192, "EncryptedPackage")
    hand_ods(os.path.join(FAIL, "ods_formula_without_value.ods"),
             '<table:table><table:table-row><table:table-cell office:value-type="float" office:value="1"/>'
             '<table:table-cell table:formula="of:=[.A1]*2"/></table:table-row></table:table>')
    # A million rows with content: refused as too large, not allocated.
    hand_ods(os.path.join(FAIL, "ods_repeated_million.ods"),
             '<table:table><table:table-row table:number-rows-repeated="1048576">'
             '<table:table-cell table:number-columns-repeated="9" office:value-type="float" office:value="1"/>'
             '</table:table-row></table:table>')
    # An OLE2 file that is no workbook at all, and a BIFF8 stream cut short.
    biff8 = xlwt.Workbook()
    biff8.add_sheet("A").write(0, 0, "x" * 100)
    stream = biff8.get_biff_data()
    ole_file(os.path.join(FAIL, "biff_cut_short.xls"), stream[: len(stream) - 200])
    for name, data in CSV_CASES.items():
        write(os.path.join(PASS, f"csv_{name}.csv"), data)
    hostile()
    from_the_wild()
    fuzz_findings()
    damaged_below_row_3()
    containers()


def fuzz_findings():
    """Cells right of the nine columns the runs read, which no bound counts (A1
    448 is all that is kept). Fuzzing found that one cell far to the right in
    each of 8,000 rows made 40 KB of xlsx take more than 2 GB, since a row was
    stored up to its last cell; a remark of 1,800 characters in column J on
    9,999 rows was refused as too much text."""
    first = '<row r="1"><c r="A1"><v>448</v></c></row>'
    hand_xlsx(os.path.join(PASS, "far_right_cells.xlsx"),
              first + "".join(f'<row r="{r}"><c r="XFD{r}"><v>1</v></c></row>' for r in range(2, 8001)))
    hand_ods(os.path.join(PASS, "ods_far_right_cells.ods"),
             '<table:table><table:table-row><table:table-cell office:value-type="float" office:value="448"/>'
             '</table:table-row><table:table-row table:number-rows-repeated="8000">'
             '<table:table-cell table:number-columns-repeated="16383"/>'
             '<table:table-cell office:value-type="float" office:value="1"/>'
             '</table:table-row><table:table-row table:number-rows-repeated="9999">'
             '<table:table-cell table:number-columns-repeated="9"/><table:table-cell office:value-type="string">'
             '<text:p>' + "Bemerkung " * 180 + '</text:p></table:table-cell></table:table-row></table:table>')


def damaged_below_row_3():
    """Sound down to row 3 and damaged below: read to row 3 they open (A1 Nr, A2 1,
    B2 x, A3 2), read whole they are refused. The damage stands for rows never parsed."""
    F = lambda name: os.path.join(FAIL, "below_row_3_" + name)
    write(F("unterminated_quote.csv"), b'Nr\n1;x\n2\n"3\n4\n')
    head = ('<row r="1"><c r="A1" t="s"><v>0</v></c></row><row r="2"><c r="A2"><v>1</v></c><c r="B2" t="s">'
            '<v>1</v></c></row><row r="3"><c r="A3"><v>2</v></c></row><row r="4"><c r="A4" t="s"><v>2</v></c></row>')
    strings = "<si><t>Nr</t></si><si><t>x</t></si><si><t>y</t></si>"
    hand_xlsx(F("formula_without_result.xlsx"), head.replace(' t="s"><v>2</v>', '><f>A1</f>'), shared=strings)
    members = xlsx_members(head, shared=strings)
    sheet, shared = members["xl/worksheets/sheet1.xml"], members["xl/sharedStrings.xml"]
    write_zip(F("sheet_cut_short.xlsx"), dict(members, **{"xl/worksheets/sheet1.xml": sheet[:sheet.rindex("<v>2") + 4]}))
    write_zip(F("shared_strings_cut_short.xlsx"), dict(members, **{"xl/sharedStrings.xml": shared[:shared.rindex("y<")] + "ohne Ende"}))
    cell = '<table:table-cell office:value-type="float" office:value="{}"/>'
    hand_ods(F("content_cut_short.ods"), '<table:table><table:table-row><table:table-cell><text:p>Nr</text:p></table:table-cell>'
             '</table:table-row><table:table-row>' + cell.format(1) + '<table:table-cell><text:p>x</text:p></table:table-cell>'
             '</table:table-row><table:table-row>' + cell.format(2) + '</table:table-row><table:table-row '
             'table:number-rows-repeated="3">' + cell.format("1e999") + '</table:table-row></table:ta', cut_after="</table:ta")



def shared_strings(strings):
    """An SST record with CONTINUE records, each holding whole strings."""
    bodies = [struct.pack("<II", len(strings), len(strings))]
    for text in strings:
        piece = struct.pack("<HB", len(text), 0) + text.encode("latin-1")
        if len(bodies[-1]) + len(piece) > 8224:
            bodies.append(b"")
        bodies[-1] += piece
    return biff_record(0x00FC, bodies[0]) + b"".join(biff_record(0x003C, body) for body in bodies[1:])


def containers():
    """The compound-file container as its documentation allows it, checked with
    olefile, and damaged where a reader follows it. The long table (A1 "Zeile 0",
    B1 "Zeile 5499", A2 448) fills 70 KB of shared strings, so that sectors read
    out of order cannot pass unseen; the short one is A1 "Lfdnr", A2 448."""
    long_table = biff8_stream(biff_cell(0x00FD, 0, 0, struct.pack("<I", 0)) + biff_cell(0x00FD, 0, 1, struct.pack("<I", 5499))
                              + biff_cell(0x0203, 1, 0, struct.pack("<d", 448)), shared_strings([f"Zeile {i}" for i in range(5500)]))
    short_table = biff8_stream(biff_label(0, 0, "Lfdnr") + biff_cell(0x0203, 1, 0, struct.pack("<d", 448)))
    other = bytes(range(256)) * 4  # a small stream before the workbook's in the mini stream
    cases = {"mini_stream": ({"\x05SummaryInformation": other, "Workbook": short_table}, {"backwards": ["Root Entry"]}),
             "backwards_chain_fat_extension": ({"Workbook": long_table}, {"backwards": ["Workbook"], "fat_sectors": 110}),
             "4096_byte_sectors": ({"Workbook": long_table, "\x05SummaryInformation": other},
                                   {"shift": 12, "backwards": ["Workbook"]}),
             "directory_sectors": (dict([(f"Leer {i}", other[:i * 40]) for i in range(12)], Workbook=short_table),
                                   {"backwards": ["directory"]})}
    for name, (streams, layout) in cases.items():
        data = compound_file(streams, **layout)
        assert olefile.OleFileIO(data).openstream("Workbook").read() == streams["Workbook"], name
        write(os.path.join(PASS, f"xls_container_{name}.xls"), data)
    padded = {"Workbook": short_table.ljust(5000, b"\0")}  # in sectors of its own, not the mini stream
    damage = {"chain_loops": lambda fat, e: fat.__setitem__(e[1][START], e[1][START]),
              "chain_leaves_file": lambda fat, e: fat.__setitem__(e[1][START], len(fat) - 1),
              "sector_number_out_of_range": lambda fat, e: fat.__setitem__(e[1][START], 0x7FFFFFF0),
              "directory_cycle": lambda fat, e: e[1].__setitem__(RIGHT, 1),
              "stream_shorter_than_stated": lambda fat, e: e[1].__setitem__(SIZE, 5000 + 512)}
    for name, tweak in damage.items():
        write(os.path.join(FAIL, f"xls_container_{name}.xls"), compound_file(padded, tweak=tweak))


if __name__ == "__main__":
    sys.exit(main())
