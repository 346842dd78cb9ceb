"""Prints an exported file's rows as JSON, read with Python's own modules only.

.csv: {"bom": true/false, "sheets": [["", rows]]}, rows through the csv module.
.xlsx: {"sheets": [[name, rows], ...]} through zipfile and ElementTree; a number cell reads as
"#<value>", a text cell as its text, a formula cell as "=<formula>" prefixed by "FORMULA:".
"""
import csv
import json
import re
import sys
import zipfile
import xml.etree.ElementTree as ET

MAIN = "{http://schemas.openxmlformats.org/spreadsheetml/2006/main}"
REL = "{http://schemas.openxmlformats.org/officeDocument/2006/relationships}"


def column_index(ref):
    letters = re.match(r"[A-Z]+", ref).group(0)
    index = 0
    for letter in letters:
        index = index * 26 + ord(letter) - ord("A") + 1
    return index - 1


def cell_text(cell):
    formula = cell.find(MAIN + "f")
    if formula is not None:
        return "FORMULA:" + (formula.text or "")
    kind = cell.get("t", "n")
    if kind == "inlineStr":
        # Characters XML cannot carry are written as _xHHHH_, as a spreadsheet program reads them.
        text = "".join(t.text or "" for t in cell.iter(MAIN + "t"))
        return re.sub(r"_x([0-9A-Fa-f]{4})_", lambda m: chr(int(m.group(1), 16)), text)
    if kind == "s":
        raise SystemExit("shared strings are not expected in a streamed workbook")
    value = cell.find(MAIN + "v")
    return "#" + value.text if kind == "n" else value.text


def read_xlsx(path):
    with zipfile.ZipFile(path) as package:
        workbook = ET.fromstring(package.read("xl/workbook.xml"))
        rels = ET.fromstring(package.read("xl/_rels/workbook.xml.rels"))
        targets = {r.get("Id"): r.get("Target") for r in rels}
        sheets = []
        for sheet in workbook.iter(MAIN + "sheet"):
            part = "xl/" + targets[sheet.get(REL + "id")]
            rows = []
            for row in ET.fromstring(package.read(part)).iter(MAIN + "row"):
                cells = {}
                for cell in row.iter(MAIN + "c"):
                    cells[column_index(cell.get("r"))] = cell_text(cell)
                rows.append([cells.get(i, "") for i in range(max(cells) + 1)] if cells else [])
            sheets.append([sheet.get("name"), rows])
        return {"sheets": sheets}


def read_csv(path):
    with open(path, "rb") as raw:
        bom = raw.read(3) == b"\xef\xbb\xbf"
    with open(path, encoding="utf-8-sig", newline="") as text:
        return {"bom": bom, "sheets": [["", list(csv.reader(text))]]}


path = sys.argv[1]
json.dump(read_xlsx(path) if path.endswith(".xlsx") else read_csv(path), sys.stdout, ensure_ascii=False)
