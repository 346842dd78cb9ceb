#pragma once

#include "CellText.h"
#include "Workbook.h"

#include <QList>
#include <QStringList>

#include <quazip.h>
#include <quazipfile.h>

#include <memory>

// The shared strings of a workbook one after another in one text, and where each ends: a table of
// a million short strings takes a third of the memory of as many strings of their own.
struct SharedStringTable
{
    QString text;
    QList<qsizetype> ends;

    qsizetype size() const { return ends.size(); }
    void append(QStringView string)
    {
        text += string;
        ends.append(text.size());
    }
    QString at(qsizetype index) const
    {
        const qsizetype start = index > 0 ? ends.at(index - 1) : 0;
        // An empty entry is the null text, as an entry of its own was.
        return start == ends.at(index) ? QString() : text.mid(start, ends.at(index) - start);
    }
};

// A .xlsx workbook: a zip package of XML parts. The active sheet is read as a stream, one row at a
// time, so a large sheet costs no more memory than its widest row and an import that stops early
// reads no further.
class XlsxWorkbook final : public Workbook
{
public:
    // Reads the package's workbook, relationships, styles and shared strings and finds the first
    // worksheet's used range. Throws SpreadsheetError.
    explicit XlsxWorkbook(const QString &path);
    ~XlsxWorkbook() override;

    int usedRowCount() const override { return m_usedRowCount; }
    QString cellText(int row, int column) override;
    void close() override;

private:
    enum class CellType { Number, SharedString, Text, Boolean };
    struct Cell
    {
        int column = 0;
        CellType type = CellType::Number;
        int style = 0;
        QString value;
    };
    struct Row
    {
        int number = 0;
        QList<Cell> cells;
    };
    class RowReader;

    std::unique_ptr<QuaZipFile> openPart(const QString &name);
    // A part for the XML reader, its texts bounded (MarkupBoundDevice).
    std::unique_ptr<QIODevice> openXmlPart(const QString &name);
    QByteArray readPart(const QString &name);
    void readStyles(const QString &part);
    void readSharedStrings(const QString &part);
    int usedRowCount(const QString &part);
    void startActiveSheet();
    void readRow();
    QString text(const Cell &cell) const;
    [[noreturn]] void fail() const;

    QString m_path;
    QuaZip m_zip;
    bool m_date1904 = false;
    QList<celltext::DateKind> m_styleKinds; // by cell style index
    SharedStringTable m_sharedStrings;
    QString m_activeSheet;
    int m_usedRowCount = 1;

    // The active sheet's stream: the row last read, and the number of the row before it.
    std::unique_ptr<QIODevice> m_sheetFile;
    std::unique_ptr<RowReader> m_rows;
    int m_rowNumber = 0;
    int m_previousRow = 0;
    Row m_row;
};
