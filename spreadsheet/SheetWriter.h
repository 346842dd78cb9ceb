#pragma once

#include <QByteArrayView>
#include <QString>

#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <span>

// One cell of a row being written: empty, a whole number, or UTF-8 text. A text is always written
// as text, never read as a number or a formula, whatever it starts with.
struct SheetCell
{
    enum class Kind { Empty, Number, Text };

    static SheetCell empty() { return {}; }
    static SheetCell number(qint64 value) { return {Kind::Number, value, {}}; }
    static SheetCell text(QByteArrayView utf8) { return {Kind::Text, 0, utf8}; }

    Kind kind = Kind::Empty;
    qint64 value = 0;
    QByteArrayView utf8;
};

enum class SheetFormat { Xlsx, Csv };

// The format a file name asks for by its extension (letter case ignored), none for any other.
std::optional<SheetFormat> sheetFormatFor(const QString &fileName);

// Writes rows one after another to a new file, holding no more than a row in memory. Throws
// SpreadsheetError with a text for the user when the file cannot be written.
class SheetWriter
{
public:
    virtual ~SheetWriter() = default;

    virtual void writeRow(std::span<const SheetCell> cells) = 0;
    // Completes the file. Without it the file is left unfinished (to be thrown away).
    virtual void finish() = 0;
};

// `path` is written over; `sheetName` names the worksheet where the format has one.
std::unique_ptr<SheetWriter> createSheetWriter(SheetFormat format, const QString &path, const QString &sheetName);

// Runs `job` on the one thread every sheet writer is made and used on. libxlsxwriter is loaded into
// a link namespace of its own (XlsxSheetWriter), which brings a C library of its own; that one does
// not know the threads made after it was loaded, and a second export on a new thread crashed inside
// the library. So the writers live on one thread, made once and kept for the program's life, which
// is also the one that loads the library.
std::future<void> postToSheetWriterThread(std::function<void()> job);
