#include "SendRecordRows.h"

#include "Database.h"
#include "DatabaseError.h"
#include "Dialect.h"
#include "Statement.h"

#include <sqlite3.h>

namespace {

// The page's statements carry no order; the engine gives the rows of 发送情况 in the order they were
// appended, also through the indexes on 客户ID and 邮件ID (equal keys keep their rowid order), so
// ordering by the record's key (a file's rowid, a server's 记录ID) is the page's order, on a file at
// no cost of sorting.
QString whereClause(const SendRecordFilter &filter)
{
    if (filter.customerId && filter.mailId)
        return QStringLiteral(" where 发送情况.\"客户ID\" = :customer and 发送情况.\"邮件ID\" = :mail");
    if (filter.customerId)
        return QStringLiteral(" where 发送情况.\"客户ID\" = :customer");
    if (filter.mailId)
        return QStringLiteral(" where 发送情况.\"邮件ID\" = :mail");
    return {};
}

void bindFilter(Statement &statement, const SendRecordFilter &filter)
{
    if (filter.customerId)
        statement.bind(QStringLiteral(":customer"), *filter.customerId);
    if (filter.mailId)
        statement.bind(QStringLiteral(":mail"), *filter.mailId);
}

} // namespace

const std::array<QString, SendRecordRows::ColumnCount> &SendRecordRows::columnNames()
{
    static const std::array<QString, ColumnCount> names{
        QStringLiteral("客户ID"),   QStringLiteral("客户名称"), QStringLiteral("电子邮件地址"),
        QStringLiteral("邮件ID"),   QStringLiteral("邮件主题"), QStringLiteral("发送日期"),
        QStringLiteral("发送结果"),
    };
    return names;
}

SendRecordRows::SendRecordRows(Database &connection, const SendRecordFilter &filter)
    : m_connection(connection)
{
    const QString where = whereClause(filter);
    execute(m_connection, dialect::beginSnapshot(m_connection.engine()));
    try {
        Statement count(m_connection, QStringLiteral("select count(*) from 发送情况") + where);
        bindFilter(count, filter);
        count.step();
        m_count = count.column(0).toLongLong();

        m_rows = std::make_unique<Statement>(
            m_connection,
            QStringLiteral("select 发送情况.\"客户ID\", 客户表.客户名称, 客户表.电子邮件地址, 发送情况.\"邮件ID\", "
                           "邮件表.邮件主题, 发送情况.发送日期, 发送情况.发送结果 "
                           "from 发送情况 "
                           "left join 客户表 on 客户表.\"客户ID\" = 发送情况.\"客户ID\" "
                           "left join 邮件表 on 邮件表.\"邮件ID\" = 发送情况.\"邮件ID\"")
                + where + QStringLiteral(" order by 发送情况.") + dialect::recordKey(m_connection.engine()));
        bindFilter(*m_rows, filter);
    } catch (...) {
        m_rows.reset();
        endReading();
        throw;
    }
}

SendRecordRows::~SendRecordRows()
{
    m_rows.reset();
    endReading();
}

void SendRecordRows::endReading() noexcept
{
    // Only reads happened: ending the transaction either way is the same.
    try {
        execute(m_connection, QStringLiteral("rollback"));
    } catch (const DatabaseError &) {
    }
}

bool SendRecordRows::next()
{
    if (!m_rows->step())
        return false;
    if (!m_rows->get()) {
        for (int c = 0; c < ColumnCount; ++c) {
            m_row[c] = m_rows->column(c);
            m_texts[c] = m_row[c].typeId() == QMetaType::LongLong ? QByteArray() : m_row[c].toString().toUtf8();
        }
    }
    return true;
}

bool SendRecordRows::isNull(int column) const
{
    if (!m_rows->get())
        return m_row[column].isNull();
    return sqlite3_column_type(m_rows->get(), column) == SQLITE_NULL;
}

bool SendRecordRows::isInteger(int column) const
{
    if (!m_rows->get())
        return m_row[column].typeId() == QMetaType::LongLong;
    return sqlite3_column_type(m_rows->get(), column) == SQLITE_INTEGER;
}

qint64 SendRecordRows::integer(int column) const
{
    if (!m_rows->get())
        return m_row[column].toLongLong();
    return sqlite3_column_int64(m_rows->get(), column);
}

QByteArrayView SendRecordRows::text(int column) const
{
    if (!m_rows->get())
        return m_texts[column];
    const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(m_rows->get(), column));
    return {bytes, qsizetype(sqlite3_column_bytes(m_rows->get(), column))};
}
