#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

class Database;
class Statement;

// Imported customers written many to one statement of the engine. The rows are those the import
// statement writes one at a time (name, address, and the engine's `now` as the entry date), but the
// work every statement does once (the table's AUTOINCREMENT counter, the reset, the engine's `now`)
// is then done once per batch: a batch is written about three times faster than its rows singly.
class CustomerBatch
{
public:
    static constexpr qsizetype capacity = 50;

    explicit CustomerBatch(Database &connection);
    ~CustomerBatch();
    CustomerBatch(const CustomerBatch &) = delete;
    CustomerBatch &operator=(const CustomerBatch &) = delete;

    void append(const QString &name, const QString &address);
    qsizetype size() const { return m_texts.size() / 2; }
    bool isFull() const { return size() == capacity; }
    void clear() { m_texts.clear(); }

    // Writes a full batch as one statement, all rows stamped with one `now`, and empties it. The
    // engine undoes the whole statement when a row is refused: then nothing of the batch is
    // written, it is kept as it was, and DatabaseError carries the engine's text.
    void write();

private:
    Database &m_connection;
    QList<QByteArray> m_texts; // name, address, name, address, ... in UTF-8
    std::unique_ptr<Statement> m_insert;
    std::unique_ptr<Statement> m_now;
};
