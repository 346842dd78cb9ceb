#pragma once

#include <QVariant>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

class Statement;

// The rows of a record view, kept column by column in the engine's own value kinds: one byte of
// kind and eight bytes of value per cell, text and blobs as UTF-8 bytes in blocks of their own.
// Everything grows in blocks, never by copying what is already held, so a million send records
// take a few tens of megabytes, and no more than that while they are read.
class RowStore
{
public:
    enum Kind : std::uint8_t { Null, Integer, Float, Text, Blob };

    // How the engine stores a value the program hands over (statements bind it the same way), and
    // the UTF-8 of a text value, a date and time as its stamp text.
    static Kind kindOf(const QVariant &value);
    static QByteArray textOf(const QVariant &value);

    void reset(int columns);
    int rowCount() const { return m_columns.empty() ? 0 : int(m_columns.front().kinds.size()); }
    int columnCount() const { return int(m_columns.size()); }

    // Appends the current result row of a stepped statement: its columns fill the store's columns
    // from `firstColumn` on; the ones before stay null. The statement's column `skipped` (one the
    // view does not show) is passed over. A file's values are read with SQLite's own calls.
    void appendFrom(const Statement &statement, int firstColumn = 0, int skipped = -1);
    // Appends a row of values (as many as columns; missing ones are null).
    void append(const QVariantList &values);
    void insertRow(int row); // all cells null
    void removeRow(int row);

    Kind kind(int row, int column) const { return Kind(m_columns[std::size_t(column)].kinds[std::size_t(row)]); }
    qint64 integer(int row, int column) const { return m_columns[std::size_t(column)].cells[std::size_t(row)]; }
    QVariant value(int row, int column) const;
    void setValue(int row, int column, const QVariant &value);

private:
    struct Column
    {
        std::deque<std::uint8_t> kinds;
        std::deque<qint64> cells; // integer, double bits, or where the bytes lie in the blocks
    };

    qint64 storeBytes(const char *data, std::size_t size);
    std::string_view bytesAt(qint64 place) const;

    std::vector<Column> m_columns;
    std::vector<std::string> m_blocks; // text and blob bytes, each after its length
};
