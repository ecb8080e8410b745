"""Prints every cell of an .xlsx workbook as JSON, read by openpyxl: the
report tests compare what the station wrote with an independent reader."""
import datetime
import json
import sys

import openpyxl

book = openpyxl.load_workbook(sys.argv[1])
sheets = []
for sheet in book.worksheets:
    cells = []
    for row in sheet.iter_rows():
        for cell in row:
            if cell.value is None and cell.number_format == "General":
                continue
            value = cell.value
            if isinstance(value, datetime.datetime):
                kind, value = "date", value.strftime("%Y-%m-%d %H:%M:%S")
            elif isinstance(value, str):
                kind = "text"
            elif value is None:
                kind = "empty"
            else:
                kind, value = "number", str(value)
            cells.append([cell.row, cell.column, kind, value, cell.number_format])
    sheets.append({"name": sheet.title, "cells": cells})
json.dump(sheets, sys.stdout, ensure_ascii=False)
