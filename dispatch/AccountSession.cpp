#include "AccountSession.h"

#include "Database.h"
#include "DatabaseError.h"
#include "DispatchLog.h"
#include "ServerText.h"
#include "ServerTrust.h"
#include "SmtpSession.h"

void useAccount(SmtpSession &session, const SendRunInputs::Account &account)
{
    const ServerAddress server = parseServerText(account.server);
    session.host = server.host;
    session.userName = account.userName;
    session.port = server.port;
    session.security = securityForPort(server.port);
    session.password = account.password;
}

ServerDecisions readServerDecisions(Database &connection, const SendRunInputs::Account &account)
{
    ServerDecisions decisions;
    try {
        const ServerAddress server = parseServerText(account.server);
        decisions.pinnedFingerprint = readTrustedFingerprint(connection, server.host, server.port);
        decisions.cleartextLoginAgreed
            = readCleartextLoginAgreed(connection, server.host, server.port, account.userName);
    } catch (const DatabaseError &e) {
        qCInfo(dispatchLog) << "no stored decisions about the server:" << e.message();
    }
    return decisions;
}

void useDecisions(SmtpSession &session, const ServerDecisions &decisions)
{
    session.pinnedFingerprint = decisions.pinnedFingerprint;
    session.cleartextLoginAgreed = decisions.cleartextLoginAgreed;
}
