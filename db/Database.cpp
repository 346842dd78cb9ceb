#include "Database.h"

#include "DatabaseError.h"
#include "DbLog.h"
#include "PostgresStatement.h"
#include "Schema.h"
#include "SchemaRebuild.h"
#include "Statement.h"

#include <QAtomicInteger>
#include <QSqlDriver>
#include <QSqlError>
#include <QUrl>

#include <sqlite3.h>

#include <algorithm>

namespace {

// Each connection is used by one thread only (a thread that needs the data opens its own), so the
// engine's locking around every call is not needed; it costs a third of the time of reading a
// large view. The setting must come before the engine's first use, hence at program start.
[[maybe_unused]] const bool engineMultiThread = sqlite3_config(SQLITE_CONFIG_MULTITHREAD) == SQLITE_OK;

QString uniqueConnectionName()
{
    static QAtomicInteger<quint64> counter;
    return QStringLiteral("quillon-%1").arg(counter.fetchAndAddRelaxed(1));
}

// The file as an SQLite URI that opens it read-write and never creates it.
QString readWriteUri(const QString &path)
{
    return QStringLiteral("file:") + QString::fromUtf8(QUrl::toPercentEncoding(path, "/")) + QStringLiteral("?mode=rw");
}

// The send run commits every record on its own, before the next customer, and each must survive a
// crash or a power cut: with a rollback journal that takes four syncs of the disk per record, with
// the write-ahead log one (synchronous=FULL syncs the log at every commit). The mode stays with the
// file, so every connection to it (the window's, the run's, the import's) uses it once one has set
// it. A file that cannot take it keeps its rollback journal and opens all the same.
void useWriteAheadLog(sqlite3 *engine)
{
    try {
        Statement mode(engine, QStringLiteral("pragma journal_mode = wal"));
        if (mode.step() && mode.column(0).toString() != QStringLiteral("wal"))
            qCInfo(dbLog) << "the file keeps its journal mode" << mode.column(0).toString();
    } catch (const DatabaseError &e) {
        qCInfo(dbLog) << "the file keeps its journal mode:" << e.message();
    }
    execute(engine, QStringLiteral("pragma synchronous = full"));
}

} // namespace

Database::Database(const QString &path, QObject *parent)
    : QObject(parent)
    , m_path(path)
    , m_name(uniqueConnectionName())
{
    m_location.file = path;
}

Database::Database(const DatabaseLocation &location, QObject *parent)
    : QObject(parent)
    , m_location(location)
    , m_path(location.engine == Engine::Sqlite ? location.file : QString())
    , m_name(uniqueConnectionName())
{
}

Database::~Database()
{
    setConnected(false);
    QSqlDatabase::removeDatabase(m_name);
}

QSqlDatabase Database::database() const
{
    return QSqlDatabase::database(m_name, false);
}

void Database::setConnected(bool connected)
{
    if (connected == isConnected())
        return;
    if (!connected) {
        m_handle = nullptr;
        m_connected = false;
        database().close();
        emit connectedChanged(false);
        return;
    }
    if (engine() == Engine::Postgres)
        connectServer();
    else
        connectFile();
    m_connected = true;
    emit connectedChanged(true);
}

void Database::connectServer()
{
    const QString driver = QStringLiteral("QPSQL");
    QSqlDatabase db = QSqlDatabase::contains(m_name) ? database() : QSqlDatabase::addDatabase(driver, m_name);
    if (!db.isValid())
        throw DatabaseError(QStringLiteral("缺少 PostgreSQL 的数据库驱动（QPSQL，Debian 软件包 libqt6sql6-psql）"));
    db.setHostName(m_location.host);
    db.setPort(m_location.port);
    db.setUserName(m_location.user);
    db.setDatabaseName(m_location.databaseName);
    // A server that never answers (switched off, or its packets dropped on the way) would hold
    // the window for the system's TCP timeout, minutes, without a word; the URL may set its own.
    QStringList options = m_location.options;
    if (std::none_of(options.cbegin(), options.cend(),
                     [](const QString &option) { return option.startsWith(QLatin1String("connect_timeout=")); }))
        options.append(QStringLiteral("connect_timeout=%1").arg(ServerConnectTimeoutSeconds));
    db.setConnectOptions(options.join(u';'));
    if (!db.open()) {
        const QString text = serverMessage(db.lastError());
        qCInfo(dbLog) << "cannot connect to" << m_location.text() << ":" << text;
        throw DatabaseError(text);
    }
    qCInfo(dbLog) << "connected to" << m_location.text();
}

void Database::connectFile()
{
    QSqlDatabase db
        = QSqlDatabase::contains(m_name) ? database() : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    if (!db.isValid())
        throw DatabaseError(db.lastError().text());
    db.setDatabaseName(readWriteUri(m_path));
    // A second copy of the program waits for the first one's write instead of failing at once.
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open()) {
        const QSqlError error = db.lastError();
        const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
        qCInfo(dbLog) << "cannot open" << m_path << ":" << text;
        throw DatabaseError(text);
    }
    qCInfo(dbLog) << "opened" << m_path;

    const QVariant handle = db.driver()->handle();
    sqlite3 *engine = handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0
        ? *static_cast<sqlite3 *const *>(handle.constData())
        : nullptr;
    if (!engine) {
        db.close();
        throw DatabaseError(QStringLiteral("The SQLite driver gave no handle"));
    }
    // The engine reads the file only when asked; ask now, so that a file that is not a database
    // (or one held locked past the wait) fails here with the engine's text.
    try {
        Statement probe(engine, QStringLiteral("select count(*) from sqlite_master"));
        probe.step();
    } catch (const DatabaseError &) {
        db.close();
        throw;
    }
    useWriteAheadLog(engine);
    // A file the program cannot bring up to date still opens for reading; the send run checks
    // that it can write its records before it sends anything.
    m_upgradeNotice.clear();
    try {
        addMissingParts(engine);
    } catch (const SchemaUpgradeError &e) {
        m_upgradeNotice = e.message();
    } catch (const DatabaseError &e) {
        qCInfo(dbLog) << "cannot bring" << m_path << "up to date:" << e.message();
    }
    m_handle = engine;
}

void Database::setBusyWait(int milliseconds)
{
    if (engine() == Engine::Postgres) {
        execute(*this, QStringLiteral("set lock_timeout = %1").arg(milliseconds));
        return;
    }
    execute(m_handle, QStringLiteral("pragma busy_timeout = %1").arg(milliseconds));
}
