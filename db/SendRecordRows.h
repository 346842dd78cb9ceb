#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QVariant>

#include <array>
#include <memory>
#include <optional>

class Database;
class Statement;

// Which send records the records page shows: all, one customer's, one mail's, or one customer's of
// one mail. The page's own statements are built from the same two numbers.
struct SendRecordFilter
{
    std::optional<qint64> customerId;
    std::optional<qint64> mailId;
};

// The send records a filter selects, joined with the customer's name and address and the mail's
// subject, read one row at a time so that a million records never sit in memory together. Rows
// come in the order the records page lists them: the order they were appended. A record whose
// customer or mail is gone keeps its row, with those columns empty.
//
// The reads run in one read transaction from the count to the last row, so the count and the rows
// agree even while a send run appends records. Failures throw DatabaseError with the engine's text.
class SendRecordRows
{
public:
    // 客户ID, 客户名称, 电子邮件地址, 邮件ID, 邮件主题, 发送日期, 发送结果.
    static constexpr int ColumnCount = 7;
    static const std::array<QString, ColumnCount> &columnNames();

    // `connection` must stay connected while the rows are read.
    SendRecordRows(Database &connection, const SendRecordFilter &filter);
    ~SendRecordRows();
    SendRecordRows(const SendRecordRows &) = delete;
    SendRecordRows &operator=(const SendRecordRows &) = delete;

    // The number of rows the filter selects.
    qint64 count() const { return m_count; }

    // Steps to the next row: false after the last.
    bool next();

    // The current row's cells. A cell the engine holds as an integer (the two numbers, as written)
    // is an integer; a missing value is null; anything else is read as UTF-8 text, valid until
    // the next step. A file's cells are read in place; a server's row is taken as it comes.
    bool isNull(int column) const;
    bool isInteger(int column) const;
    qint64 integer(int column) const;
    QByteArrayView text(int column) const;

private:
    void endReading() noexcept;

    Database &m_connection;
    qint64 m_count = 0;
    std::unique_ptr<Statement> m_rows;
    // A server's current row (null on a file), its texts in UTF-8.
    std::array<QVariant, ColumnCount> m_row;
    std::array<QByteArray, ColumnCount> m_texts;
};
