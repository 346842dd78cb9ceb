#pragma once

#include "ScriptedServer.h"
#include "TempDatabase.h"

#include <QByteArray>
#include <QString>

#include <vector>

// The pieces of a send run's conversation with a scripted server, for the run's tests with and
// without the window. The sender is sales@example.test.
namespace testsupport {

using Script = std::vector<ScriptedServer::Step>;

Script operator+(Script script, const Script &more);

// The server's greeting and the client's, offering the login when asked to.
Script opening(bool offerLogin = false);
Script quit();
// The mail transaction of one customer up to its message text, whose end the script answers.
Script upToEndOfData(const QByteArray &address);
// The lines of one accepted customer.
Script accepted(const QByteArray &address);
// A run that is pausing after its first accepted message: the server takes QUIT next.
Script firstThenQuit();

// Three customers (张三, 李四, 王五 at zhang@, li@, wang@example.test) and two mails, the second
// "新品介绍" with two lines.
void seedCustomersAndMails(const TempDatabase &db);

// The user agreed that the account's password may go out in clear to the server the box names
// ("host" or "host:port"): what the tests of servers without encryption start from.
void agreeToCleartextLogin(const TempDatabase &db, const QString &serverText, const QString &userName);

// The server box's text for a server on a loopback port.
QString serverText(const QString &address, quint16 port);
// A port of 127.0.0.1 that nothing listens on: taken from the system, then let go.
quint16 unusedPort();

} // namespace testsupport
