#pragma once

#include <QMetaType>
#include <QString>
#include <QtGlobal>

class Database;

// A question a send run cannot ask itself (it never waits for the window): it stops before any
// customer is reached and hands the question over; the window asks, keeps a yes in the file
// (agree) and starts the run again.
struct RunQuestion
{
    enum class Kind {
        // The server's certificate has an issuer nobody trusts: trust exactly this one?
        TrustCertificate,
        // Another certificate than the one trusted for this server: a warning first.
        ReplaceCertificate,
        // No encryption on offer: may the password go out in clear?
        CleartextLogin,
    };

    Kind kind = Kind::TrustCertificate;
    QString host;
    quint16 port = 0;
    QString userName; // CleartextLogin
    QString fingerprint; // the certificates' kinds: the one the server showed
    // What the box says.
    QString text;
};

Q_DECLARE_METATYPE(RunQuestion)

// Keeps the user's yes in the file: the certificate trusted for the host and port, or the account's
// password allowed in clear. Throws DatabaseError when the file refuses it.
void agree(Database &connection, const RunQuestion &question);
