#pragma once

#include "SheetWriter.h"

#include <QByteArray>
#include <QFile>

// Comma-separated text as RFC 4180 writes it (a field holding a comma, a quote or a line break in
// quotes, quotes doubled, lines ended by CR LF), in UTF-8 behind a byte order mark so that a
// spreadsheet program reads the Chinese as such.
//
// A CSV cell carries no type: a spreadsheet program runs a cell starting with "=", "+", "-" or "@"
// as a formula, quoted or not. Names and addresses come from imported lists that someone else may
// have made, so a text starting with one of those (or with a tab or CR, which some programs skip
// before looking) gets a leading apostrophe: the cell then shows the apostrophe before the text
// instead of running it. The .xlsx export keeps such texts unchanged, as typed text cells.
class CsvSheetWriter : public SheetWriter
{
public:
    explicit CsvSheetWriter(const QString &path);
    ~CsvSheetWriter() override;

    void writeRow(std::span<const SheetCell> cells) override;
    void finish() override;

    // The field as it goes into a line, without the separator.
    static void appendField(QByteArray &line, const SheetCell &cell);

private:
    void flush();

    QFile m_file;
    QByteArray m_buffer;
};
