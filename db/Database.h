#pragma once

#include "DatabaseLocation.h"

#include <QObject>
#include <QSqlDatabase>
#include <QString>

struct sqlite3;

// The connection to the database file. It opens an existing file read-write and never creates one;
// a file that another process holds locked is waited for a few seconds before the open fails.
// Each object is an independent connection with a name of its own, so a thread that needs the data
// (the send run) makes its own Database on that thread and uses it only there.
class Database : public QObject
{
    Q_OBJECT

public:
    // `path` is taken as given: the default "db.mdb" is the file in the current working directory.
    explicit Database(const QString &path = QStringLiteral("db.mdb"), QObject *parent = nullptr);
    // The file or the server the location names. A server is reached through Qt's QPSQL driver,
    // its password by libpq's own ways; its tables are made by createServerSchema, never on open.
    explicit Database(const DatabaseLocation &location, QObject *parent = nullptr);
    ~Database() override;

    // How long a server may take to answer a connect before it fails, unless the URL's
    // connect_timeout says otherwise.
    static constexpr int ServerConnectTimeoutSeconds = 10;

    // The file; empty for a server.
    const QString &path() const { return m_path; }
    const DatabaseLocation &location() const { return m_location; }
    Engine engine() const { return m_location.engine; }

    // Connects (throws DatabaseError with the engine's text: a missing file, a locked file, a file
    // that is not a database) or disconnects. Connecting a connected object does nothing.
    void setConnected(bool connected);
    bool isConnected() const { return m_connected; }

    QSqlDatabase database() const;
    // How long a statement waits for another connection's lock before it fails.
    void setBusyWait(int milliseconds);
    // SQLite's handle while connected to a file, null otherwise (and always on a server); for the
    // record views and statements.
    sqlite3 *handle() const { return m_handle; }
    // Why the file, made by an earlier version, was opened as it is instead of brought up to date
    // (the user's text); empty when it was brought up to date or needed nothing.
    const QString &upgradeNotice() const { return m_upgradeNotice; }

signals:
    void connectedChanged(bool connected);

private:
    void connectFile();
    void connectServer();

    DatabaseLocation m_location;
    QString m_path;
    bool m_connected = false;
    QString m_name;
    sqlite3 *m_handle = nullptr;
    QString m_upgradeNotice;
};
