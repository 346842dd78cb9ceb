#include "TempDatabase.h"

#include "Schema.h"
#include "Statement.h"

#include <QDir>

#include <sqlite3.h>

#include <gtest/gtest.h>

namespace testsupport {

namespace {

// A short-lived connection of the test's own, apart from the ones under test.
class Handle
{
public:
    explicit Handle(const QString &path)
    {
        if (sqlite3_open_v2(path.toUtf8().constData(), &m_handle, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            ADD_FAILURE() << "cannot open " << path.toStdString() << ": " << sqlite3_errmsg(m_handle);
        sqlite3_busy_timeout(m_handle, 5000);
    }
    ~Handle() { sqlite3_close(m_handle); }
    sqlite3 *get() const { return m_handle; }

private:
    sqlite3 *m_handle = nullptr;
};

} // namespace

TempDatabase::TempDatabase()
{
    createDatabase(path());
}

TempDatabase::TempDatabase(const QString &parent)
    : m_dir(parent + QStringLiteral("/quillon-XXXXXX"))
{
    createDatabase(path());
}

TempDatabase::~TempDatabase()
{
    if (!m_previousDir.isEmpty())
        QDir::setCurrent(m_previousDir);
}

QString TempDatabase::path() const
{
    return m_dir.filePath(QStringLiteral("db.mdb"));
}

void TempDatabase::enter()
{
    if (m_previousDir.isEmpty())
        m_previousDir = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
}

void TempDatabase::exec(const QString &sql) const
{
    Handle handle(path());
    execute(handle.get(), sql);
}

QVariant TempDatabase::scalar(const QString &sql) const
{
    Handle handle(path());
    Statement statement(handle.get(), sql);
    return statement.step() ? statement.column(0) : QVariant();
}

TempDatabase::Rows TempDatabase::rows(const QString &sql) const
{
    Handle handle(path());
    Statement statement(handle.get(), sql);
    Rows rows;
    while (statement.step()) {
        QVariantList row;
        for (int i = 0; i < statement.columnCount(); ++i)
            row.append(statement.column(i));
        rows.append(row);
    }
    return rows;
}

} // namespace testsupport
