#pragma once

#include "DatabaseLocation.h"

#include <QString>
#include <QTemporaryDir>

namespace testsupport {

// A throwaway PostgreSQL cluster for one test process: initdb and pg_ctl of the installed server
// (Debian's /usr/lib/postgresql/<version>/bin) in a temporary directory, listening on a Unix socket
// in that directory only, never on TCP. Run as root, the server runs as the unprivileged user
// "nobody", as the server insists. Stopped, by its own pg_ctl or its own PID, with the object.
class PostgresCluster
{
public:
    PostgresCluster() = default;
    ~PostgresCluster();
    PostgresCluster(const PostgresCluster &) = delete;
    PostgresCluster &operator=(const PostgresCluster &) = delete;

    // Starts the cluster; empty on success, else why it could not (the tools' own output), so a
    // test fails with the reason instead of being skipped.
    QString start();

    QString socketDirectory() const { return m_dir.path(); }
    // The cluster's superuser, reached without a password over the socket.
    static QString user() { return QStringLiteral("quillon"); }

    // A new empty database of that name, as the program would be pointed at it; throws
    // DatabaseError when the server refuses.
    DatabaseLocation createDatabase(const QString &name);
    // The location of a database, made or not.
    DatabaseLocation location(const QString &name) const;

private:
    QString run(const QString &tool, const QStringList &arguments) const;
    QString dataDirectory() const;
    void stop();

    QTemporaryDir m_dir;
    QString m_bin;
    bool m_asNobody = false;
    bool m_started = false;
};

} // namespace testsupport
