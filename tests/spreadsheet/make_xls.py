"""Writes the .xls workbook described by JSON on standard input to the path given as argument.

{"active": 0, "sheets": [{"name": "...", "cells": [[row, column, kind, value, format], ...]}]}
Rows and columns count from 1; kind is text, number, boolean, date (ISO text) or blank.
Run with Debian's python3 (python3-xlwt).
"""
import datetime
import json
import sys

import xlwt


# Built-in formats by number, as the .xlsx side writes them, and the text xlwt maps to each.
BUILT_IN = {"#14": "M/D/YY", "#22": "M/D/YY h:mm"}


def value_of(kind, value):
    if kind != "date":
        return value
    if "T" in value:
        return datetime.datetime.fromisoformat(value)
    if ":" in value:
        return datetime.time.fromisoformat(value)
    return datetime.date.fromisoformat(value)


def main():
    description = json.load(sys.stdin)
    book = xlwt.Workbook(encoding="utf-8")
    styles = {}
    for sheet in description["sheets"]:
        page = book.add_sheet(sheet["name"])
        for row, column, kind, value, number_format in sheet["cells"]:
            number_format = BUILT_IN.get(number_format, number_format) or "General"
            if number_format not in styles:
                styles[number_format] = xlwt.easyxf("font: bold on", num_format_str=number_format)
            style = styles[number_format]
            if kind == "blank":
                page.write(row - 1, column - 1, None, style)
            else:
                page.write(row - 1, column - 1, value_of(kind, value), style)
    book.active_sheet = description["active"]
    book.save(sys.argv[1])


main()
