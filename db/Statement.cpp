#include "Statement.h"

#include "Database.h"
#include "DatabaseError.h"
#include "PostgresStatement.h"
#include "RowStore.h"

#include <sqlite3.h>

Statement::Statement(sqlite3 *handle, const QString &sql)
    : m_handle(handle)
{
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(m_handle, text.constData(), int(text.size()), &m_statement, nullptr) != SQLITE_OK)
        fail();
}

Statement::Statement(Database &database, const QString &sql)
{
    if (database.engine() == Engine::Postgres) {
        if (!database.isConnected())
            throw DatabaseError::closedDataset();
        m_server = std::make_unique<PostgresStatement>(database.database(), sql);
        return;
    }
    m_handle = database.handle();
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(m_handle, text.constData(), int(text.size()), &m_statement, nullptr) != SQLITE_OK)
        fail();
}

Statement::~Statement()
{
    sqlite3_finalize(m_statement);
}

void Statement::fail() const
{
    throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(m_handle)));
}

void Statement::bind(int index, const QVariant &value)
{
    if (m_server)
        return m_server->bind(index, value);
    int rc = SQLITE_OK;
    switch (RowStore::kindOf(value)) {
    case RowStore::Null: rc = sqlite3_bind_null(m_statement, index); break;
    case RowStore::Integer: rc = sqlite3_bind_int64(m_statement, index, value.toLongLong()); break;
    case RowStore::Float: rc = sqlite3_bind_double(m_statement, index, value.toDouble()); break;
    case RowStore::Blob: {
        const QByteArray bytes = value.toByteArray();
        rc = sqlite3_bind_blob64(m_statement, index, bytes.constData(), sqlite3_uint64(bytes.size()), SQLITE_TRANSIENT);
        break;
    }
    case RowStore::Text: {
        const QByteArray text = RowStore::textOf(value);
        rc = sqlite3_bind_text64(m_statement, index, text.constData(), sqlite3_uint64(text.size()), SQLITE_TRANSIENT,
                                 SQLITE_UTF8);
        break;
    }
    }
    if (rc != SQLITE_OK)
        fail();
}

void Statement::bindText(int index, QByteArrayView utf8)
{
    if (m_server)
        return m_server->bind(index, QString::fromUtf8(utf8.data() ? utf8 : QByteArrayView("")));
    // A null pointer would bind NULL; an empty text is bound as the empty text the import writes.
    const char *bytes = utf8.data() ? utf8.data() : "";
    if (sqlite3_bind_text64(m_statement, index, bytes, sqlite3_uint64(utf8.size()), SQLITE_STATIC, SQLITE_UTF8)
        != SQLITE_OK)
        fail();
}

int Statement::parameterIndex(const QString &name) const
{
    if (m_server)
        return m_server->parameterIndex(name);
    return sqlite3_bind_parameter_index(m_statement, name.toUtf8().constData());
}

bool Statement::bind(const QString &name, const QVariant &value)
{
    const int index = parameterIndex(name);
    if (index == 0)
        return false;
    bind(index, value);
    return true;
}

bool Statement::step()
{
    if (m_server)
        return m_server->step();
    switch (sqlite3_step(m_statement)) {
    case SQLITE_ROW: return true;
    case SQLITE_DONE: return false;
    default: {
        // The statement's own error text, kept before reset clears it.
        const QString message = QString::fromUtf8(sqlite3_errmsg(m_handle));
        sqlite3_reset(m_statement);
        throw DatabaseError(message);
    }
    }
}

void Statement::reset()
{
    if (m_server)
        return m_server->reset();
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
}

int Statement::changes() const
{
    if (m_server)
        return m_server->changes();
    return sqlite3_changes(m_handle);
}

qint64 Statement::lastInsertId() const
{
    if (m_server)
        return m_server->lastInsertId();
    return sqlite3_last_insert_rowid(m_handle);
}

int Statement::columnCount() const
{
    if (m_server)
        return m_server->columnCount();
    return sqlite3_column_count(m_statement);
}

QVariant Statement::column(int index) const
{
    if (m_server)
        return m_server->column(index);
    switch (sqlite3_column_type(m_statement, index)) {
    case SQLITE_INTEGER: return qlonglong(sqlite3_column_int64(m_statement, index));
    case SQLITE_FLOAT: return sqlite3_column_double(m_statement, index);
    case SQLITE_TEXT:
        return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(m_statement, index)),
                                 sqlite3_column_bytes(m_statement, index));
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char *>(sqlite3_column_blob(m_statement, index)),
                          sqlite3_column_bytes(m_statement, index));
    default: return {};
    }
}

void execute(sqlite3 *handle, const QString &sql)
{
    char *error = nullptr;
    if (sqlite3_exec(handle, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        const QString message = QString::fromUtf8(error ? error : sqlite3_errmsg(handle));
        sqlite3_free(error);
        throw DatabaseError(message);
    }
}

void execute(Database &database, const QString &sql)
{
    if (database.engine() == Engine::Postgres) {
        if (!database.isConnected())
            throw DatabaseError::closedDataset();
        executeOnServer(database.database(), sql);
        return;
    }
    execute(database.handle(), sql);
}
