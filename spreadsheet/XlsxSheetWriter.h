#pragma once

#include "SheetWriter.h"

#include <string>
#include <vector>

struct lxw_workbook;
struct lxw_worksheet;

// An .xlsx workbook written through libxlsxwriter in its constant-memory mode: each row goes to a
// temporary file once the next one begins. Numbers are number cells, texts are text cells (never a
// formula). A worksheet holds at most `rowsPerSheet` rows (the format's limit unless given): the
// rows go on in a next worksheet, "<name> (2)" and so on, which starts with the first row written
// (the header) again.
class XlsxSheetWriter : public SheetWriter
{
public:
    static constexpr int MaxRowsPerSheet = 1048576;

    XlsxSheetWriter(const QString &path, const QString &sheetName, int rowsPerSheet = MaxRowsPerSheet);
    ~XlsxSheetWriter() override;

    void writeRow(std::span<const SheetCell> cells) override;
    void finish() override;

private:
    void addSheet();
    void write(std::span<const SheetCell> cells);
    [[noreturn]] void fail(int error) const;

    QString m_path;
    QString m_sheetName;
    int m_rowsPerSheet;
    lxw_workbook *m_workbook = nullptr;
    lxw_worksheet *m_sheet = nullptr;
    int m_sheets = 0;
    int m_row = 0; // the next row of the current sheet
    struct HeldCell
    {
        SheetCell::Kind kind;
        qint64 value;
        std::string text;
    };
    std::vector<HeldCell> m_header; // the first row, for the sheets after the first
    std::string m_text; // a text cell's bytes, closed by the NUL the library wants
};
