#pragma once

#include <QString>
#include <QtGlobal>

class Database;

// What the user decided about a mail server, kept in the file so it holds across restarts: the
// certificate trusted for a host and port (信任证书, by its SHA-256 fingerprint), and the accounts
// whose password may go out unencrypted to a server that offers no encryption (明文登录许可). Host
// names are compared without regard to letter case. Writes throw DatabaseError when refused.

// Empty when no certificate is trusted for the host and port.
QString readTrustedFingerprint(Database &connection, const QString &host, quint16 port);
// Replaces what was trusted for the host and port before.
void writeTrustedFingerprint(Database &connection, const QString &host, quint16 port, const QString &fingerprint);

bool readCleartextLoginAgreed(Database &connection, const QString &host, quint16 port, const QString &userName);
void writeCleartextLoginAgreed(Database &connection, const QString &host, quint16 port, const QString &userName);
