#!/usr/bin/python3
"""Writes the sample workbooks of examples/workbooks/ (district and cooperative
layout, each as .xlsx, .xls and .csv). Their rows fit the demo database of
tarvel-demodb: rows that are found, rows that are not, and rows whose
assessment record exists already.

Run with Debian's /usr/bin/python3 (python3-openpyxl, python3-xlwt):
    /usr/bin/python3 examples/make_workbooks.py
"""
import csv
import io
import os
import re
import tempfile
import zipfile

import openpyxl
import xlwt

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "workbooks")

# Columns: 1 a free value, 2 Lfdnr, 3 unused, 4 hunting-ground name,
# 5 browsing pressure 1-4, 6 its change 0-3, 7 first hunting year.
DISTRICT_HEADINGS = ["Nr", "Lfdnr", "Hegering", "Reviername", "Verbiss", "Tendenz", "Jagdjahr"]
DISTRICT_ROWS = [
    ["A-1", 12, "", "Musterrevier", 2, 1, 2021],          # found, record exists: updated
    ["A-2", 15, "Nord", "Waldhausen", 3, 0, 2021],        # found, new record
    [" A-3 ", " 27 ", "", "Eichenhöhe", 4, 2, 2021],       # blanks around the number
    ["A-4", 999, "", "Unbekanntes Revier", 1, 1, 2021],   # not in the database
    ["A-5", 77, "", "Genossenschaftsjagd Selb", 2, 2, 2021],  # collection of another kind: not found
    ["A-6", 31, "", "Am Steinbühl", "tragbar", 5, 2024],  # word and out-of-range digit: fallback codes
    ["A-7", 102, "Süd", "Obere Au", 1, 3, 2021],          # found, new record
]

COOPERATIVE_HEADINGS = ["Hgnr", "Jahr", "Lkr", "Lkrname", "Alf_kurz", "Alf_lang", "Hgname", "Belast", "Abschuss"]
COOPERATIVE_ROWS = [
    [448, 2021, 475, "Landkreis Hof", "bm", "Bayreuth-Münchberg", "Naila", 3, 4],  # record exists: updated
    [449, 2021, 475, "Landkreis Hof", "bm", "Bayreuth-Münchberg", "Helmbrechts", "zu_hoch", "erhöhen"],
    [451, 2021, 475, "Landkreis Hof", "bm", "Bayreuth-Münchberg", "Münchberg", "günstig", "deutlich_senken"],
    [999, 2021, 475, "Landkreis Hof", "bm", "Bayreuth-Münchberg", "Unbekannt", 2, 3],  # not in the database
    [460, 2021, 479, "Landkreis Wunsiedel i.Fichtelgebirge", "wun", "Wunsiedel", "Selb",
     "deutlich_zu_hoch", "beibehalten"],
    # blanks around the number; a blank instead of the underscore takes the fallback
    [" 451 ", 2024, 475, "Landkreis Hof", "bm", "Bayreuth-Münchberg", "Münchberg", "zu hoch", "deutlich_erhöhen"],
]

INLINE_CELL = re.compile(
    rb'<c r="([A-Z]+[0-9]+)"((?: s="[0-9]+")?) t="inlineStr"><is><t(?: xml:space="preserve")?>(.*?)</t></is></c>',
    re.S)


def as_spreadsheet_programs_write(source, target):
    """openpyxl writes absolute relationship targets ("/xl/worksheets/...") and
    inline strings; spreadsheet programs write relative targets and a shared
    string table, and some readers only understand those."""
    strings = []
    index = {}

    def shared(match):
        text = match.group(3)
        if text not in index:
            index[text] = len(strings)
            strings.append(text)
        return b'<c r="%s"%s t="s"><v>%d</v></c>' % (match.group(1), match.group(2), index[text])

    with zipfile.ZipFile(source) as zin, zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as zout:
        for item in zin.infolist():
            data = zin.read(item.filename)
            if item.filename == "xl/_rels/workbook.xml.rels":
                data = data.replace(b'Target="/xl/', b'Target="')
                data = data.replace(
                    b"</Relationships>",
                    b'<Relationship Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
                    b'sharedStrings" Target="sharedStrings.xml" Id="rIdStrings"/></Relationships>')
            elif item.filename == "[Content_Types].xml":
                data = data.replace(
                    b"</Types>",
                    b'<Override PartName="/xl/sharedStrings.xml" ContentType="application/'
                    b'vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/></Types>')
            elif item.filename.startswith("xl/worksheets/sheet"):
                data = INLINE_CELL.sub(shared, data)
            zout.writestr(item, data)
        table = b"".join(b'<si><t xml:space="preserve">%s</t></si>' % text for text in strings)
        zout.writestr("xl/sharedStrings.xml",
                      b'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                      b'<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
                      b'count="%d" uniqueCount="%d">%s</sst>' % (len(strings), len(strings), table))


def write_xlsx(path, headings, rows):
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "Tabelle1"
    sheet.append(headings)
    for row in rows:
        sheet.append([None if value == "" else value for value in row])  # an empty cell, not an empty text
    with tempfile.TemporaryDirectory() as tmp:
        raw = os.path.join(tmp, "raw.xlsx")
        book.save(raw)
        as_spreadsheet_programs_write(raw, path)


def write_xls(path, headings, rows):
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("Tabelle1")
    for col, text in enumerate(headings):
        sheet.write(0, col, text)
    for r, row in enumerate(rows, start=1):
        for col, value in enumerate(row):
            if value != "":
                sheet.write(r, col, value)
    book.save(path)


def write_csv(path, headings, rows):
    text = io.StringIO()
    writer = csv.writer(text, delimiter=";", lineterminator="\r\n")
    writer.writerow(headings)
    for row in rows:
        writer.writerow(row)
    with open(path, "wb") as out:
        out.write(text.getvalue().encode("cp1252"))


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, headings, rows in (("Jagdbezirke", DISTRICT_HEADINGS, DISTRICT_ROWS),
                                 ("Hegegemeinschaften", COOPERATIVE_HEADINGS, COOPERATIVE_ROWS)):
        base = os.path.join(OUT, name)
        write_xlsx(base + ".xlsx", headings, rows)
        write_xls(base + ".xls", headings, rows)
        write_csv(base + ".csv", headings, rows)
        print(base + ".{xlsx,xls,csv}")


if __name__ == "__main__":
    main()
