#pragma once

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
    ~Database() override;

    const QString &path() const { return m_path; }

    // Connects (throws DatabaseError with the engine's text: a missing file, a locked file, a file
    // that is not a database) or disconnects. Connecting a connected object does nothing.
    void setConnected(bool connected);
    bool isConnected() const { return m_handle != nullptr; }

    QSqlDatabase database() const;
    // How long a statement waits for another connection's lock before it fails.
    void setBusyWait(int milliseconds);
    // The engine's handle while connected, null otherwise; for the record views and statements.
    sqlite3 *handle() const { return m_handle; }
    // Why the file, made by an earlier version, was opened as it is instead of brought up to date
    // (the user's text); empty when it was brought up to date or needed nothing.
    const QString &upgradeNotice() const { return m_upgradeNotice; }

signals:
    void connectedChanged(bool connected);

private:
    QString m_path;
    QString m_name;
    sqlite3 *m_handle = nullptr;
    QString m_upgradeNotice;
};
