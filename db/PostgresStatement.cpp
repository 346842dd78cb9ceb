#include "PostgresStatement.h"

#include "DatabaseError.h"
#include "SqlText.h"
#include "Stamp.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlRecord>

QString serverMessage(const QSqlError &error)
{
    QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    text = text.section(u'\n', 0, 0).trimmed();
    for (const QLatin1String prefix : {QLatin1String("ERROR:"), QLatin1String("FATAL:")}) {
        if (text.startsWith(prefix))
            text = text.mid(prefix.size()).trimmed();
    }
    // Qt appends the SQLSTATE as "(23514)" to a one-line message.
    static const QRegularExpression state(QStringLiteral("\\([0-9A-Z]{5}\\)$"));
    return text.remove(state).trimmed();
}

DatabaseError serverError(const QSqlError &error)
{
    // QPSQL's native code is the SQLSTATE of the server's reply.
    return DatabaseError(serverMessage(error), error.nativeErrorCode());
}

PostgresStatement::Numbered PostgresStatement::numberParameters(const QString &sql)
{
    Numbered numbered;
    int next = 0;
    const auto use = [&](int number, const QString &name) {
        if (numbered.names.size() < number)
            numbered.names.resize(number);
        if (!name.isEmpty())
            numbered.names[number - 1] = name;
        next = std::max(next, number);
        return u'$' + QString::number(number);
    };
    numbered.sql = sqltext::mapCode(sql, [&](QStringView code) {
        QString mapped;
        for (qsizetype i = 0; i < code.size(); ++i) {
            const QChar c = code[i];
            if (c == u'?') {
                qsizetype j = i + 1;
                while (j < code.size() && code[j].isDigit())
                    ++j;
                mapped += use(j > i + 1 ? code.mid(i + 1, j - i - 1).toInt() : next + 1, {});
                i = j - 1;
            } else if (c == u':' && i + 1 < code.size() && code[i + 1] == u':') {
                // the server's cast operator, never a parameter
                mapped += QStringLiteral("::");
                ++i;
            } else if (c == u':' && i + 1 < code.size() && sqltext::isNameCharacter(code[i + 1])
                       && !code[i + 1].isDigit()) {
                qsizetype j = i + 1;
                while (j < code.size() && sqltext::isNameCharacter(code[j]))
                    ++j;
                const QString name = code.mid(i, j - i).toString();
                const qsizetype known = numbered.names.indexOf(name);
                mapped += use(known >= 0 ? int(known) + 1 : next + 1, name);
                i = j - 1;
            } else {
                mapped += c;
            }
        }
        return mapped;
    });
    return numbered;
}

PostgresStatement::PostgresStatement(const QSqlDatabase &database, const QString &sql)
    : m_database(database)
    , m_query(database)
{
    Numbered numbered = numberParameters(sql);
    m_names = std::move(numbered.names);
    m_values.resize(m_names.size());
    m_query.setForwardOnly(true);
    if (!m_query.prepare(numbered.sql))
        throw serverError(m_query.lastError());
}

void PostgresStatement::bind(int index, const QVariant &value)
{
    if (index < 1 || index > m_values.size())
        throw DatabaseError(QStringLiteral("column index out of range"));
    m_values[index - 1] = value;
}

int PostgresStatement::parameterIndex(const QString &name) const
{
    return int(m_names.indexOf(name)) + 1;
}

bool PostgresStatement::step()
{
    if (!m_executed) {
        for (qsizetype i = 0; i < m_values.size(); ++i)
            m_query.bindValue(int(i), m_values[i]);
        if (!m_query.exec())
            throw serverError(m_query.lastError());
        m_executed = true;
    }
    return m_query.isSelect() && m_query.next();
}

void PostgresStatement::reset()
{
    m_query.finish();
    m_executed = false;
    m_columnCount = -1;
    std::fill(m_values.begin(), m_values.end(), QVariant());
}

int PostgresStatement::changes() const
{
    return m_query.numRowsAffected();
}

qint64 PostgresStatement::lastInsertId() const
{
    // The value the session's last insert drew from a key's sequence, as SQLite's last rowid.
    QSqlQuery last(m_database);
    if (!last.exec(QStringLiteral("select lastval()")) || !last.next())
        throw serverError(last.lastError());
    return last.value(0).toLongLong();
}

int PostgresStatement::columnCount() const
{
    if (!m_executed)
        return m_query.record().count();
    if (m_columnCount < 0)
        m_columnCount = m_query.record().count();
    return m_columnCount;
}

QVariant PostgresStatement::column(int index) const
{
    const QVariant value = m_query.value(index);
    if (value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort: return value.toLongLong();
    case QMetaType::Bool: return qlonglong(value.toBool() ? 1 : 0);
    case QMetaType::QDateTime: return stamp::toText(value.toDateTime());
    default: return value;
    }
}

void executeOnServer(const QSqlDatabase &database, const QString &sql)
{
    QSqlQuery query(database);
    if (!query.exec(sql))
        throw serverError(query.lastError());
}
