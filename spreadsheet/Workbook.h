#pragma once

#include "Error.h"

#include <QString>

#include <memory>

// A spreadsheet file that cannot be read: missing, damaged, encrypted or not a workbook at all.
class SpreadsheetError : public Error
{
public:
    using Error::Error;

    static SpreadsheetError cannotOpen(const QString &path);
    static SpreadsheetError notAWorkbook(const QString &path);
    static SpreadsheetError damaged(const QString &path);
    static SpreadsheetError encrypted(const QString &path);
    static SpreadsheetError activeSheetIsNoWorksheet(const QString &path);
};

// An opened workbook, as the customer import reads it. Only the readers behind this interface know
// the file formats.
class Workbook
{
public:
    virtual ~Workbook() = default;

    // The number of rows in the used range of the first worksheet: from its first row holding a
    // cell to its last (1 for a worksheet without cells).
    virtual int usedRowCount() const = 0;

    // The value of cell (row, column) of the sheet that was active when the workbook was saved,
    // turned into text; both count from 1. An empty cell gives the empty text. Rows are cheapest
    // read in order. Throws SpreadsheetError when the cell cannot be read.
    virtual QString cellText(int row, int column) = 0;

    // Lets go of the file. Nothing may be read afterwards.
    virtual void close() = 0;
};

// Opens the workbook in the file at path, by what the file holds rather than by its name:
// .xls (a compound file holding a BIFF5 or BIFF8 workbook) or .xlsx (a zip package).
// Throws SpreadsheetError.
std::unique_ptr<Workbook> openWorkbook(const QString &path);
