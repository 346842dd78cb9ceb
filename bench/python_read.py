"""Reads the first two columns of every row of a workbook the way a Python program would, and prints
the processor seconds the opening and reading took (interpreter start-up and module import not
counted), the rows read and the process's peak memory in KiB: python_read.py openpyxl|xlrd <path>.
Run with Debian's python3.
"""
import resource
import sys
import time

library, path = sys.argv[1], sys.argv[2]
if library == "openpyxl":
    import openpyxl

    start = time.process_time()
    book = openpyxl.load_workbook(path, read_only=True)
    rows = sum(1 for _ in book.active.iter_rows(min_col=1, max_col=2, values_only=True))
    book.close()
else:
    import xlrd

    start = time.process_time()
    book = xlrd.open_workbook(path)
    sheet = book.sheet_by_index(0)
    rows = 0
    for r in range(sheet.nrows):
        sheet.cell_value(r, 0), sheet.cell_value(r, 1)
        rows += 1
elapsed = time.process_time() - start
print(elapsed, rows, resource.getrusage(resource.RUSAGE_SELF).ru_maxrss)
