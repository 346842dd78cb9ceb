#include "TestSend.h"

#include "AccountSession.h"
#include "DispatchLog.h"
#include "Error.h"
#include "MailMessage.h"
#include "SendFailure.h"
#include "SmtpSession.h"

TestSend::TestSend(TestMail mail, std::optional<std::chrono::milliseconds> serverWait)
    : m_mail(std::move(mail))
    , m_session(std::make_unique<SmtpSession>())
{
    if (serverWait)
        m_session->timeouts = SmtpTimeouts::all(TimeoutMs(serverWait->count()));
}

TestSend::~TestSend()
{
    if (m_thread.joinable()) {
        m_session->abort();
        m_thread.join();
    }
}

void TestSend::start()
{
    m_running = true;
    m_thread = std::thread([this] { work(); });
}

void TestSend::work()
{
    SmtpSession &smtp = *m_session;
    bool sent = false;
    QString text;
    bool atLogin = false;
    try {
        useAccount(smtp, m_mail.account);
        useDecisions(smtp, m_mail.decisions);
        qCInfo(dispatchLog) << "test mail through" << m_mail.account.server << "as" << m_mail.account.userName;
        smtp.connect();
        atLogin = true;
        // Apart from the send, as in a run, so that a refused login is known as one.
        smtp.authenticate();
        atLogin = false;
        MailMessage message = customerMessage(m_mail.sender, m_mail.mail, {0, m_mail.greetingName, m_mail.address},
                                                  m_mail.refusal, encodedAttachment(m_mail.mail));
        smtp.send(message);
        sent = true;
        text = QStringLiteral("测试邮件已发送到 ") + m_mail.address;
    } catch (const std::exception &e) {
        bool usable = false;
        try {
            usable = smtp.isConnected();
        } catch (const std::exception &) {
        }
        // A failure that would stop a run says so in a run's words: the user learns what the run would meet.
        const RunStop stop = runStopFor({failureKind(e), replyCode(e), atLogin, false, usable});
        text = QStringLiteral("测试邮件没有发出");
        if (stop != RunStop::None)
            text += QStringLiteral("：") + runStopReason(stop);
        text += QStringLiteral("。\n原因：") + failureDetail(e);
    }
    qCInfo(dispatchLog) << "test mail:" << text;
    try {
        smtp.disconnect();
    } catch (const std::exception &e) {
        const auto *error = dynamic_cast<const Error *>(&e);
        qCInfo(dispatchLog) << "disconnect failed:" << (error ? error->message() : QString::fromUtf8(e.what()));
    }
    m_running = false;
    emit finished(sent, text);
}
