#include "RunScripts.h"

#include "SmtpSession.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

Script operator+(Script script, const Script &more)
{
    script.insert(script.end(), more.begin(), more.end());
    return script;
}

Script opening(bool offerLogin)
{
    Script script = {ScriptedServer::say("220 scripted"), ScriptedServer::expect("EHLO " + localHostName().toLatin1())};
    if (offerLogin)
        return script + Script{ScriptedServer::say("250-scripted"), ScriptedServer::say("250 AUTH LOGIN")};
    return script + Script{ScriptedServer::say("250 scripted")};
}

Script quit()
{
    return {ScriptedServer::expect("QUIT"), ScriptedServer::say("221 bye"), ScriptedServer::close()};
}

Script upToEndOfData(const QByteArray &address)
{
    return {ScriptedServer::expect("RSET"),
            ScriptedServer::say("250 OK"),
            ScriptedServer::expect("MAIL FROM: <sales@example.test>"),
            ScriptedServer::say("250 OK"),
            ScriptedServer::expect("RCPT TO:<" + address + ">"),
            ScriptedServer::say("250 OK"),
            ScriptedServer::expect("DATA"),
            ScriptedServer::say("354 go on"),
            ScriptedServer::expectData()};
}

Script accepted(const QByteArray &address)
{
    return upToEndOfData(address) + Script{ScriptedServer::say("250 queued")};
}

Script firstThenQuit()
{
    return opening() + accepted("zhang@example.test") + quit();
}

void seedCustomersAndMails(const TempDatabase &db)
{
    db.exec(QStringLiteral("insert into 客户表(客户名称, 电子邮件地址) values('张三', 'zhang@example.test');"
                           "insert into 客户表(客户名称, 电子邮件地址) values('李四', 'li@example.test');"
                           "insert into 客户表(客户名称, 电子邮件地址) values('王五', 'wang@example.test');"
                           "insert into 邮件表(邮件主题, 邮件内容) values('旧邮件', '旧');"
                           "insert into 邮件表(邮件主题, 邮件内容) values('新品介绍', '第一行\n第二行');"));
}

void agreeToCleartextLogin(const TempDatabase &db, const QString &serverText, const QString &userName)
{
    const qsizetype colon = serverText.lastIndexOf(QLatin1Char(':'));
    const QString host = colon < 0 ? serverText : serverText.left(colon);
    const QString port = colon < 0 ? QStringLiteral("25") : serverText.mid(colon + 1);
    db.exec(QStringLiteral("insert into 明文登录许可(主机, 端口, 用户名) values('%1', %2, '%3')").arg(host, port, userName));
}

QString serverText(const QString &address, quint16 port)
{
    return address + QLatin1Char(':') + QString::number(port);
}

quint16 unusedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof local;
    ::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &length);
    ::close(fd);
    return ntohs(local.sin_port);
}

} // namespace testsupport
