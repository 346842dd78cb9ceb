"""Reads the first two columns of every row of a workbook the way a Python program would, and prints
the processor seconds the opening and reading took (interpreter start-up and module import not
counted), the rows read and the process's peak memory in KiB:
python_read.py openpyxl|xlrd|xlsx2csv <path>. xlsx2csv converts the whole first sheet to CSV text.
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
elif library == "xlsx2csv":
    # Debian installs the module as the program itself, a file without the .py an import needs.
    import types

    program = "/usr/bin/xlsx2csv"
    xlsx2csv = types.ModuleType("xlsx2csv")
    sys.modules["xlsx2csv"] = xlsx2csv
    with open(program, encoding="utf-8") as source:
        exec(compile(source.read(), program, "exec"), xlsx2csv.__dict__)

    class Lines:
        """Counts the lines the converter writes and keeps none of them."""

        def __init__(self):
            self.count = 0

        def write(self, text):
            self.count += text.count("\n")

    start = time.process_time()
    out = Lines()
    xlsx2csv.Xlsx2csv(path, outputencoding="utf-8").convert(out)
    rows = out.count
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
