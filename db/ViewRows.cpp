#include "ViewRows.h"

#include "Database.h"
#include "DatabaseError.h"
#include "Dialect.h"
#include "Statement.h"

#include <sqlite3.h>

#include <algorithm>

namespace {

// A few screenfuls: one read fills what a grid shows and the moves around it.
constexpr int pageSize = 256;
// Pages read at once when reading goes on from the page before.
constexpr int readAhead = 16;

QString quoted(const QString &identifier)
{
    return QLatin1Char('"') + QString(identifier).replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

} // namespace

struct PagedTable
{
    Database *database = nullptr;
    QString name;
    QString key; // as statements name it
    QString selectList;
    qint64 firstKey = 0;
    qint64 lastKey = 0;
    // Keys without gaps: the row at position p has the key firstKey + p, no skipping needed.
    bool contiguous = false;
    RowStore read; // the pages read, each whole, in the order they were read
    std::vector<int> pageAt; // a page's first row in `read`; -1 while unread
};

namespace {

// Rows from a key on, within the table's keys, in key order; and the key so many rows back. Each
// read prepares its own: a statement kept between reads would keep the connection from closing.
QString rowsStatement(const PagedTable &paged)
{
    return QStringLiteral("select %2, %3 from %1 where %2 >= ?1 and %2 <= ?2 order by %2 limit ?3 offset ?4")
        .arg(paged.name, paged.key, paged.selectList);
}

QString keyBackStatement(const PagedTable &paged)
{
    return QStringLiteral("select %2 from %1 where %2 >= ?1 and %2 <= ?2 order by %2 desc limit 1 offset ?3")
        .arg(paged.name, paged.key);
}

} // namespace

ViewRows::ViewRows() = default;
ViewRows::~ViewRows() = default;
ViewRows::ViewRows(ViewRows &&) noexcept = default;
ViewRows &ViewRows::operator=(ViewRows &&) noexcept = default;

void ViewRows::reset(int columns)
{
    m_table.reset();
    m_base = 0;
    m_removed.clear();
    m_added.reset(columns);
    m_greatestWholeReadKey = -1;
}

void ViewRows::appendFrom(const Statement &statement, int firstColumn, int skipped)
{
    m_added.appendFrom(statement, firstColumn, skipped);
    const int row = m_added.rowCount() - 1;
    if (m_added.kind(row, 0) == RowStore::Integer)
        m_greatestWholeReadKey = std::max(m_greatestWholeReadKey, m_added.integer(row, 0));
}

qint64 ViewRows::greatestReadKey() const
{
    return m_table ? std::max(m_table->lastKey, m_greatestWholeReadKey) : m_greatestWholeReadKey;
}

void ViewRows::pageTable(Database &database, const QString &table, const QString &selectList, int columns)
{
    const QString name = quoted(table);
    const QString key = dialect::rowKey(database.engine(), table);
    if (key.isEmpty())
        throw DatabaseError(QStringLiteral("无法按主键读取“%1”的记录").arg(name));
    // One statement, so the count and the keys are of one moment. Each part takes the engine's
    // shortcut: the count walks the smallest index's pages, the keys are the ends of the table.
    Statement bounds(database,
                     QStringLiteral("select (select count(*) from %1), (select min(%2) from %1),"
                                    " (select max(%2) from %1)")
                         .arg(name, key));
    bounds.step();
    const qint64 count = bounds.column(0).toLongLong();
    auto paged = std::make_unique<PagedTable>();
    paged->database = &database;
    paged->name = name;
    paged->key = key;
    paged->selectList = selectList;
    paged->firstKey = bounds.column(1).toLongLong();
    paged->lastKey = bounds.column(2).toLongLong();
    bounds.reset();
    if (count > 0) {
        paged->contiguous = paged->lastKey - paged->firstKey == count - 1;
        paged->read.reset(columns);
        paged->pageAt.assign(std::size_t((count + pageSize - 1) / pageSize), -1);
        // A file tells the statement's columns before it runs; a server's are the list given.
        if (database.engine() == Engine::Sqlite && Statement(database, rowsStatement(*paged)).columnCount() != columns)
            throw DatabaseError(QStringLiteral("无法按主键读取“%1”的记录").arg(name));
    }

    reset(columns);
    if (count > 0) {
        m_table = std::move(paged);
        m_base = int(count);
    }
}

int ViewRows::rowCount() const
{
    return m_base - int(m_removed.size()) + m_added.rowCount();
}

int ViewRows::removedBetween(int from, int to) const
{
    return int(std::lower_bound(m_removed.begin(), m_removed.end(), to)
               - std::lower_bound(m_removed.begin(), m_removed.end(), from));
}

// The table position of a row, past the rows removed before it.
int ViewRows::basePosition(int row) const
{
    int position = row;
    for (const int removed : m_removed) {
        if (removed > position)
            break;
        ++position;
    }
    return position;
}

int ViewRows::tableRow(int row) const
{
    if (row >= m_base - int(m_removed.size()))
        return -1;
    const int position = basePosition(row);
    const int page = position / pageSize;
    if (m_table->pageAt[std::size_t(page)] < 0)
        readPage(page);
    return m_table->pageAt[std::size_t(page)] + position % pageSize;
}

int ViewRows::addedRow(int row) const
{
    return row - (m_base - int(m_removed.size()));
}

void ViewRows::readPage(int page) const
{
    PagedTable &paged = *m_table;
    const int start = page * pageSize;
    // Reading on from the page before, as a walk does, takes the unread pages after it along in
    // the same read.
    int pages = 1;
    if (page > 0 && paged.pageAt[std::size_t(page - 1)] >= 0) {
        while (pages < readAhead && page + pages < int(paged.pageAt.size())
               && paged.pageAt[std::size_t(page + pages)] < 0)
            ++pages;
    }
    if (paged.contiguous) {
        readRows(page, pages, paged.firstKey + start, 0, true);
        return;
    }

    // Without gaps to rely on, the page is found by counting rows from the nearest row whose key
    // is known: a page read before, or an end of the table. The rows removed through this view
    // are gone from the table and are not counted.
    qint64 fromKey = paged.firstKey;
    int fromPosition = 0;
    for (int before = page - 1; before >= 0; --before) {
        const int at = paged.pageAt[std::size_t(before)];
        const int last = std::min(pageSize, m_base - before * pageSize) - 1;
        if (at >= 0 && paged.read.kind(at + last, 0) == RowStore::Integer) {
            fromKey = paged.read.integer(at + last, 0) + 1;
            fromPosition = before * pageSize + last + 1;
            break;
        }
    }
    const int forward = start - fromPosition - removedBetween(fromPosition, start);

    qint64 toKey = paged.lastKey;
    int toPosition = m_base;
    for (int after = page + 1; after < int(paged.pageAt.size()); ++after) {
        const int at = paged.pageAt[std::size_t(after)];
        if (at >= 0 && paged.read.kind(at, 0) == RowStore::Integer) {
            toKey = paged.read.integer(at, 0) - 1;
            toPosition = after * pageSize;
            break;
        }
    }
    const int back = toPosition - start - removedBetween(start, toPosition) - 1;

    if (back < forward) {
        Statement keyBack(*paged.database, keyBackStatement(paged));
        keyBack.bind(1, paged.firstKey);
        keyBack.bind(2, toKey);
        keyBack.bind(3, back);
        if (keyBack.step()) {
            const qint64 firstKey = keyBack.column(0).toLongLong();
            keyBack.reset();
            readRows(page, 1, firstKey, 0, false);
            return;
        }
    }
    readRows(page, pages, fromKey, forward, false);
}

// Reads `pages` pages from `page` on: the rows from the key on, past `skip` rows. Where the table
// no longer has a row (another connection deleted it), the page holds an empty one.
void ViewRows::readRows(int page, int pages, qint64 fromKey, int skip, bool byKey) const
{
    PagedTable &paged = *m_table;
    const int start = page * pageSize;
    const int size = std::min(pages * pageSize, m_base - start);
    Statement rows(*paged.database, rowsStatement(paged));
    rows.bind(1, fromKey);
    rows.bind(2, byKey ? std::min(paged.lastKey, fromKey + size - 1) : paged.lastKey);
    rows.bind(3, size);
    rows.bind(4, skip);

    const int at = paged.read.rowCount();
    int filled = 0;
    try {
        while (filled < size && rows.step()) {
            const qint64 key = rows.get() ? sqlite3_column_int64(rows.get(), 0) : rows.column(0).toLongLong();
            for (; byKey && filled < size && key > fromKey + filled; ++filled)
                paged.read.insertRow(paged.read.rowCount());
            if (filled < size) {
                paged.read.appendFrom(rows);
                ++filled;
            }
        }
    } catch (...) {
        // Pages are kept whole or not at all.
        while (paged.read.rowCount() > at)
            paged.read.removeRow(paged.read.rowCount() - 1);
        throw;
    }
    for (; filled < size; ++filled)
        paged.read.insertRow(paged.read.rowCount());
    for (int p = 0; p < pages; ++p)
        paged.pageAt[std::size_t(page + p)] = at + p * pageSize;
}

void ViewRows::insertRow(int row)
{
    Q_ASSERT(row == rowCount());
    m_added.insertRow(addedRow(row));
}

void ViewRows::removeRow(int row)
{
    const int added = addedRow(row);
    if (added >= 0) {
        m_added.removeRow(added);
        return;
    }
    const int position = basePosition(row);
    m_removed.insert(std::upper_bound(m_removed.begin(), m_removed.end(), position), position);
}

RowStore::Kind ViewRows::kind(int row, int column) const
{
    const int at = tableRow(row);
    return at >= 0 ? m_table->read.kind(at, column) : m_added.kind(addedRow(row), column);
}

qint64 ViewRows::integer(int row, int column) const
{
    const int at = tableRow(row);
    return at >= 0 ? m_table->read.integer(at, column) : m_added.integer(addedRow(row), column);
}

QVariant ViewRows::value(int row, int column) const
{
    const int at = tableRow(row);
    return at >= 0 ? m_table->read.value(at, column) : m_added.value(addedRow(row), column);
}

void ViewRows::setValue(int row, int column, const QVariant &value)
{
    const int at = tableRow(row);
    if (at >= 0)
        m_table->read.setValue(at, column, value);
    else
        m_added.setValue(addedRow(row), column, value);
}

int ViewRows::findKey(qint64 key) const
{
    const auto hasKey = [this, key](int row) {
        return row >= 0 && row < rowCount() && kind(row, 0) == RowStore::Integer && integer(row, 0) == key;
    };
    if (m_table && key >= m_table->firstKey && key <= m_table->lastKey) {
        // The row's place among the table's rows is the number of rows with smaller keys.
        int row = -1;
        if (m_table->contiguous) {
            const int position = int(key - m_table->firstKey);
            if (!std::binary_search(m_removed.begin(), m_removed.end(), position))
                row = position - removedBetween(0, position);
        } else {
            Statement before(*m_table->database, QStringLiteral("select count(*) from %1 where %2 >= ?1 and %2 < ?2")
                                                     .arg(m_table->name, m_table->key));
            before.bind(1, m_table->firstKey);
            before.bind(2, key);
            before.step();
            // The rows removed through this view are no longer in the table either.
            row = before.column(0).toInt();
        }
        return hasKey(row) ? row : -1;
    }
    for (int row = m_base - int(m_removed.size()); row < rowCount(); ++row) {
        if (hasKey(row))
            return row;
    }
    return -1;
}
