#pragma once

#include "AccountSession.h"
#include "Greeting.h"
#include "SendRunInputs.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>

class SmtpSession;

// What a test mail is: the chosen mail with one customer's greeting, to an address the user typed,
// from the account and sender boxes as they show.
struct TestMail
{
    SendRunInputs::Account account;
    SenderBoxes sender;
    MailText mail;
    RefusalOption refusal; // as a run would add it
    ServerDecisions decisions; // as a run would use them
    QString greetingName; // the customer whose greeting the mail carries
    QString address; // where it goes
};

// One test mail over one connection of its own session, set up as a run's: the same server, TLS and
// login. It writes no send record. It runs on a thread of its own and reports through its signal,
// which the window connects queued.
class TestSend : public QObject
{
    Q_OBJECT

public:
    // `serverWait`: every wait on the server at most this long (tests); unset: the session's own limits.
    explicit TestSend(TestMail mail, std::optional<std::chrono::milliseconds> serverWait = std::nullopt);
    // A send still going is aborted with its connection, then joined.
    ~TestSend() override;
    TestSend(const TestSend &) = delete;
    TestSend &operator=(const TestSend &) = delete;

    void start();
    bool running() const { return m_running; }

signals:
    // Once, at the end: whether the server took the mail, and the text of the box that says so
    // ("测试邮件已发送到 …") or why not.
    void finished(bool sent, const QString &text);

private:
    void work();

    TestMail m_mail;
    std::unique_ptr<SmtpSession> m_session;
    std::thread m_thread;
    std::atomic<bool> m_running = false;
};
