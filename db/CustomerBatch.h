#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

class Database;
class Statement;

// Imported customers written to 客户表: each row a name, an address and the engine's `now` as its
// entry date. A full batch goes in as one statement of the engine, so the work every statement does
// once (the table's AUTOINCREMENT counter, the reset, the engine's `now`) is done once per batch: a
// batch is written about three times faster than its rows singly. A shorter batch, and a full one
// the engine refused (which then wrote nothing), go in row by row, which names the row refused.
class CustomerBatch
{
public:
    static constexpr qsizetype capacity = 50;

    explicit CustomerBatch(Database &connection);
    ~CustomerBatch();
    CustomerBatch(const CustomerBatch &) = delete;
    CustomerBatch &operator=(const CustomerBatch &) = delete;

    // `row` is the row's number in the sheet it was read from, which a refusal names.
    void append(int row, const QString &name, const QString &address);
    qsizetype size() const { return m_rows.size(); }
    bool isFull() const { return size() == capacity; }

    // Writes the rows appended and empties the batch, whatever happens. A full batch is stamped
    // with one `now`, single rows each with their own. When the engine refuses a row, the rows
    // before it stay written, none after it is, and DatabaseError says "第<row>行未能导入：" followed
    // by the engine's text.
    void write();
    // The rows this batch has written since it was made.
    qsizetype written() const { return m_written; }

private:
    // Inserts `count` rows from `first` with `statement`, which takes as many.
    void insert(Statement &statement, qsizetype first, qsizetype count);

    Database &m_connection;
    QList<int> m_rows;
    QList<QByteArray> m_texts; // name, address, name, address, ... in UTF-8
    qsizetype m_written = 0;
    std::unique_ptr<Statement> m_insertBatch;
    std::unique_ptr<Statement> m_insertRow;
    std::unique_ptr<Statement> m_now;
};
