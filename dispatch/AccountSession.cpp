#include "AccountSession.h"

#include "ServerText.h"
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
