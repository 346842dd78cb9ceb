#pragma once

#include <QVariant>

#include <cstdint>
#include <string>
#include <vector>

struct sqlite3_stmt;

// The rows of a record view, kept column by column in the engine's own value kinds: one byte of
// kind and eight bytes of value per cell, text and blobs as UTF-8 bytes in one buffer per column.
// A million send records fit in a few tens of megabytes and load without a QVariant per cell.
class RowStore
{
public:
    enum Kind : std::uint8_t { Null, Integer, Float, Text, Blob };

    void reset(int columns);
    int rowCount() const { return m_columns.empty() ? 0 : int(m_columns.front().kinds.size()); }
    int columnCount() const { return int(m_columns.size()); }

    // Appends the current result row of a stepped statement: its columns fill the store's columns
    // from `firstColumn` on; the ones before stay null.
    void appendFrom(sqlite3_stmt *statement, int firstColumn = 0);
    // Appends a row of values (as many as columns; missing ones are null).
    void append(const QVariantList &values);
    void insertRow(int row); // all cells null
    void removeRow(int row);

    Kind kind(int row, int column) const { return Kind(m_columns[column].kinds[row]); }
    qint64 integer(int row, int column) const { return m_columns[column].cells[row]; }
    QVariant value(int row, int column) const;
    void setValue(int row, int column, const QVariant &value);

private:
    struct Column
    {
        std::vector<std::uint8_t> kinds;
        std::vector<qint64> cells; // integer, double bits, or offset of [length][bytes] in `bytes`
        std::string bytes;
    };

    static qint64 storeBytes(Column &column, const char *data, std::size_t size);

    std::vector<Column> m_columns;
};
