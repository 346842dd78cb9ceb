#pragma once

#include "RowStore.h"

#include <QString>
#include <QVariant>

#include <memory>
#include <vector>

class Database;
class Statement;
struct PagedTable;

// The rows of a record view by position. A whole table is read as it is looked at, a page at a
// time by its keys, and what was read is kept; anything else is read whole at open. Rows the view
// adds (new records, the send run's records) follow the table's rows.
//
// The table's rows are the ones it held when paging began: the count and the range of keys then.
// Rows another connection adds later are not among them; the view adds those it is told of itself.
// No statement stays open between reads, so no read holds the file against another connection's
// writes. Reading a page can fail with the engine's text (DatabaseError), from any accessor.
class ViewRows
{
public:
    ViewRows();
    ~ViewRows();
    ViewRows(ViewRows &&) noexcept;
    ViewRows &operator=(ViewRows &&) noexcept;

    // Empty, with `columns` columns (the key first), every row to come through append/appendFrom.
    void reset(int columns);
    // Pages the rows of `table` by its key (dialect::rowKey: SQLite's rowid, the server's key
    // column) as they are now: the key, then `selectList` ("*", or the columns shown), make the
    // store's columns. Throws the engine's text, leaving the rows as they were.
    void pageTable(Database &database, const QString &table, const QString &selectList, int columns);

    int rowCount() const;
    int columnCount() const { return m_added.columnCount(); }

    // Appends the current row of a stepped statement (see RowStore::appendFrom), or values.
    void appendFrom(const Statement &statement, int firstColumn = 0, int skipped = -1);
    void append(const QVariantList &values) { m_added.append(values); }
    // New rows go only at the end.
    void insertRow(int row);
    void removeRow(int row);

    RowStore::Kind kind(int row, int column) const;
    qint64 integer(int row, int column) const;
    QVariant value(int row, int column) const;
    void setValue(int row, int column, const QVariant &value);

    // The row whose key (column 0) is `key`, or -1.
    int findKey(qint64 key) const;
    // The greatest key of the rows read from the database (paged or read whole), -1 when none: a
    // row with a greater key was written after the read and cannot be among them.
    qint64 greatestReadKey() const;

private:
    // Where a row is held: its row in the pages read (reading its page first), or -1 when it is
    // one of the added rows, at addedRow(row) there.
    int tableRow(int row) const;
    int addedRow(int row) const;
    int basePosition(int row) const;
    int removedBetween(int from, int to) const; // removed positions p with from <= p < to
    void readPage(int page) const;
    void readRows(int page, int pages, qint64 fromKey, int skip, bool byKey) const;

    std::unique_ptr<PagedTable> m_table; // null: every row is in m_added
    int m_base = 0; // rows of the table
    std::vector<int> m_removed; // positions of table rows removed since, ascending
    RowStore m_added; // whole reads, and rows added after the table's
    qint64 m_greatestWholeReadKey = -1;
};
