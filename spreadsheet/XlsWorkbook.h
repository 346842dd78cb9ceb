#pragma once

#include "Workbook.h"

class CompoundFile;

// A .xls workbook (BIFF5 or BIFF8 in a compound file). FreeXL reads the cells; which sheet was
// active and which sheets are worksheets come from the workbook's own records, which FreeXL does
// not pass on.
class XlsWorkbook final : public Workbook
{
public:
    // Throws SpreadsheetError.
    XlsWorkbook(const QString &path, const CompoundFile &file);
    ~XlsWorkbook() override;

    int usedRowCount() const override { return m_usedRowCount; }
    QString cellText(int row, int column) override;
    void close() override;

private:
    QString m_path;
    const void *m_handle = nullptr;
    int m_usedRowCount = 1;
    unsigned m_rows = 0; // of the active sheet
    unsigned short m_columns = 0;
};
