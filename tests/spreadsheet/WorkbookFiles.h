#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

#include <ostream>

// Real workbook files for the tests, made from one description: .xlsx through libxlsxwriter,
// .xls through xlwt (tests/spreadsheet/make_xls.py under Debian's python3).
namespace testbook {

enum class Format { Xls, Xlsx };

inline void PrintTo(Format format, std::ostream *os)
{
    *os << (format == Format::Xlsx ? "xlsx" : "xls");
}

struct Cell
{
    enum class Kind { Text, Number, Boolean, Date, Blank };
    int row;
    int column;
    Kind kind;
    QVariant value; // QString, double, bool, or ISO text for a date ("2024-03-15", "08:30:00", "2024-03-15T08:30:05")
    QString format; // number format; empty for General, "#14" for built-in format 14
};

inline Cell text(int row, int column, const QString &value)
{
    return {row, column, Cell::Kind::Text, value, {}};
}
inline Cell number(int row, int column, double value, const QString &format = {})
{
    return {row, column, Cell::Kind::Number, value, format};
}
inline Cell boolean(int row, int column, bool value)
{
    return {row, column, Cell::Kind::Boolean, value, {}};
}
inline Cell date(int row, int column, const QString &iso, const QString &format)
{
    return {row, column, Cell::Kind::Date, iso, format};
}
// A cell that carries a format and no value.
inline Cell blank(int row, int column)
{
    return {row, column, Cell::Kind::Blank, {}, {}};
}

struct Sheet
{
    QString name;
    QList<Cell> cells;
};

struct Book
{
    QList<Sheet> sheets;
    int active = 0;
    bool inlineStrings = false; // .xlsx only: strings in the cells instead of the shared table
};

// A book of one sheet holding one (name, address) pair per row from row 1.
Book customers(const QList<QPair<QString, QString>> &rows);

// Writes the book to path (the suffix is the caller's) and returns path.
QString write(const Book &book, Format format, const QString &path);

// A compound file holding the given streams (each stored in regular sectors).
QByteArray compoundFile(const QList<QPair<QString, QByteArray>> &streams);

// The .xlsx package at source copied to target with one part's bytes replaced.
void replacePart(const QString &source, const QString &target, const QString &part, const QByteArray &bytes);
QByteArray readPart(const QString &package, const QString &part);

QString suffix(Format format);

} // namespace testbook
