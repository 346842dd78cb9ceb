#include "SendRun.h"

#include "AccountSession.h"
#include "DailyCap.h"
#include "Database.h"
#include "DatabaseError.h"
#include "DateTimeText.h"
#include "DispatchLog.h"
#include "Error.h"
#include "Greeting.h"
#include "MailErrors.h"
#include "MailMessage.h"
#include "RefusalList.h"
#include "RunPlan.h"
#include "SendClaims.h"
#include "SendFailure.h"
#include "SendRecords.h"
#include "SmtpSession.h"

#include <QDateTime>
#include <QScopeGuard>
#include <QUuid>

#include <optional>

namespace {

using SteadyClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A write the database refuses is tried again this often; each try waits this long for another
// program's lock (the run's own busy wait: short, so that a stop is never kept waiting).
constexpr auto RetryInterval = 100ms;
constexpr int BusyWaitMs = 200;

QString errorText(const std::exception &e)
{
    const auto *error = dynamic_cast<const Error *>(&e);
    return error ? error->message() : QString::fromUtf8(e.what());
}

QString countsLine(int sent, int failed, int total, int unknown = 0)
{
    if (unknown == 0)
        return QStringLiteral("已发送 %1 封，失败 %2 封，其余 %3 位客户没有发送。")
            .arg(sent)
            .arg(failed)
            .arg(total - sent - failed);
    return QStringLiteral("已发送 %1 封，失败 %2 封，结果未知 %3 封，其余 %4 位客户没有发送。")
        .arg(sent)
        .arg(failed)
        .arg(unknown)
        .arg(total - sent - failed - unknown);
}

const QString ResumeAdvice = QStringLiteral("以后勾选“跳过已成功发送的客户”再按“发送”，即可发送其余的客户");

// A customer whose message went out and whose send record the database would not take: the box
// must name them, even when the user is closing the window, or the next run mails them again.
class UnrecordedError : public Error
{
public:
    using Error::Error;
};

} // namespace

// While it lives, the run waits on the server: a stop asked for meanwhile aborts the connection.
class SendRun::ServerWait
{
public:
    // Refused (false from `begun`) when a stop was asked for already, unless `evenWhenStopping`.
    // `exchange`: a customer's message, which a stop after the current one lets finish.
    ServerWait(SendRun &run, bool evenWhenStopping = false, bool exchange = false)
        : m_run(run)
    {
        std::lock_guard lock(m_run.m_mutex);
        m_begun = evenWhenStopping || !m_run.m_stopRequested;
        m_run.m_waitingOnServer = m_begun;
        m_run.m_inExchange = m_begun && exchange;
    }
    ~ServerWait()
    {
        {
            std::lock_guard lock(m_run.m_mutex);
            m_run.m_waitingOnServer = false;
            m_run.m_inExchange = false;
        }
        m_run.m_wake.notify_all();
    }
    ServerWait(const ServerWait &) = delete;
    ServerWait &operator=(const ServerWait &) = delete;

    bool begun() const { return m_begun; }

private:
    SendRun &m_run;
    bool m_begun = false;
};

SendRun::SendRun(const SendRunInputs &inputs, DatabaseLocation database, SendRunLimits limits)
    : m_inputs(inputs)
    , m_session(std::make_unique<SmtpSession>())
    , m_smtp(*m_session)
    , m_database(std::move(database))
    , m_limits(limits)
{
    if (m_limits.serverWait)
        m_smtp.timeouts = SmtpTimeouts::all(TimeoutMs(m_limits.serverWait->count()));
}

SendRun::~SendRun()
{
    if (m_thread.joinable())
        m_thread.join();
    if (m_exchangeWatch.joinable())
        m_exchangeWatch.join();
}

void SendRun::start()
{
    m_running = true;
    m_thread = std::thread([this] { work(); });
}

void SendRun::requestStop(Stop how)
{
    {
        std::lock_guard lock(m_mutex);
        if (how == Stop::Now || m_stopRequested)
            m_stopNow = true;
        m_stopRequested = true;
        if (m_waitingOnServer && (m_stopNow || !m_inExchange))
            m_smtp.abort();
        else if (m_inExchange && !m_exchangeWatch.joinable())
            m_exchangeWatch = std::thread([this] { watchStoppedExchange(); });
    }
    m_wake.notify_all();
}

void SendRun::watchStoppedExchange()
{
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, m_limits.finishAfterStop, [this] { return !m_inExchange || m_stopNow; });
    if (m_inExchange)
        m_smtp.abort();
}

QString SendRun::stopText() const
{
    QString text = QStringLiteral("发送已停止。\n") + countsLine(m_sent, m_failed, m_total, m_unknown);
    if (m_total - m_sent - m_failed - m_unknown > 0)
        text += QLatin1Char('\n') + ResumeAdvice + QStringLiteral("。");
    return text;
}

bool SendRun::stopRequested()
{
    std::lock_guard lock(m_mutex);
    return m_stopRequested;
}

void SendRun::work()
{
    // Set when an error ended the run, whatever its text: some errors carry none.
    std::optional<QString> error;
    std::optional<RunQuestion> question;
    bool completed = false;
    try {
        completed = sendToEveryCustomer();
    } catch (const UntrustedCertificateError &e) {
        const bool changed = dynamic_cast<const CertificateChangedError *>(&e) != nullptr;
        question = RunQuestion{changed ? RunQuestion::Kind::ReplaceCertificate : RunQuestion::Kind::TrustCertificate,
                               e.certificate.host,
                               e.certificate.port,
                               QString(),
                               e.certificate.fingerprint,
                               e.message()};
    } catch (const CleartextLoginNotAgreedError &) {
        question = RunQuestion{RunQuestion::Kind::CleartextLogin, m_smtp.host, m_smtp.port, m_smtp.userName, QString(),
                               cleartextLoginQuestion()};
    } catch (const UnrecordedError &e) {
        error = e.message();
    } catch (const std::exception &e) {
        // What a stop asked for brought about (the aborted connection) is what the user wanted.
        if (!stopRequested())
            error = errorText(e);
    }
    if (error)
        qCInfo(dispatchLog) << "run stopped:" << *error;
    closeConnection();
    if (question) {
        qCInfo(dispatchLog) << "run stopped for a question to the user:" << question->text;
        emit asked(*question);
    } else if (error)
        emit failed(*error);
    else if (completed)
        emit this->completed(m_summary);
    else if (stopRequested())
        emit stopped(stopText());
    qCInfo(dispatchLog) << "run ended";
    m_running = false;
    emit finished();
}

SendRunReport SendRun::takeReport()
{
    std::lock_guard lock(m_reportMutex);
    m_reportWaiting = false;
    return std::exchange(m_report, {});
}

template<class Change>
void SendRun::report(Change change)
{
    bool first = false;
    {
        std::lock_guard lock(m_reportMutex);
        change(m_report);
        first = !std::exchange(m_reportWaiting, true);
    }
    if (first)
        emit reported();
}

void SendRun::reportCounts(int total)
{
    report([&](SendRunReport &r) { r.counts = SendRunReport::Counts{m_sent, m_failed, total}; });
}

bool SendRun::sendToEveryCustomer()
{
    Database database(m_database);
    database.setConnected(true);
    // The run's own short busy wait; it waits longer by trying again, and a stop ends that at once.
    database.setBusyWait(BusyWaitMs);
    const qint64 mailId = m_inputs.mailChoice().toLongLong();
    const bool skipSent = m_inputs.skipSent();
    const RunPlan plan = planRun(
        readCustomers(database), skipSent ? readSentCustomers(database, mailId) : QSet<qint64>(), skipSent,
        {skipSent ? readUnknownCustomers(database, mailId) : QSet<qint64>(), m_inputs.sendUnknownAgain()});
    MailText mail = readMail(database, mailId);
    // The file is encoded once for the whole run and every customer's message shares it; the bytes
    // as read are not kept beside the encoded copy.
    const std::shared_ptr<const Attachment> file = encodedAttachment(mail);
    mail.attachment.reset();
    // Less the customers found on the do-not-mail list as the run reaches them.
    int &total = m_total;
    total = plan.toSend;

    // No message goes out that could not be recorded afterwards.
    std::optional<SendRecords> records;
    try {
        records.emplace(database);
        retry(m_limits.writeCheck, [&] { records->checkWritable(); });
    } catch (const DatabaseError &e) {
        throw Error(QStringLiteral("无法写入发送记录，发送没有开始。\n原因：") + e.message());
    }
    // The list is asked for each customer as the run reaches them, so that an address put on it
    // during the run is honoured too.
    std::optional<RefusalList> refusals;
    try {
        refusals.emplace(database);
    } catch (const DatabaseError &e) {
        throw Error(QStringLiteral("无法读取退订名单，发送没有开始。\n原因：") + e.message());
    }
    const RefusalOption refusal = readRefusalOption(database);
    // On a server other copies of the program may send the same mail now: each customer is claimed
    // before their message, and one another run holds is left to it. A file needs none.
    std::optional<SendClaims> claims;
    if (database.engine() == Engine::Postgres) {
        try {
            claims.emplace(database, QUuid::createUuid().toString(QUuid::WithoutBraces), mailId, m_limits.claimStale);
        } catch (const DatabaseError &e) {
            throw Error(QStringLiteral("无法读写发送认领，发送没有开始。\n原因：") + e.message());
        }
    }
    // However the run ends (but killed), its claims stop keeping later runs away.
    const auto endClaims = qScopeGuard([&] {
        try {
            if (claims)
                claims->end();
        } catch (const DatabaseError &e) {
            qCInfo(dispatchLog) << "the run's claims could not be ended:" << e.message();
        }
    });
    reportCounts(total);

    const SendRunInputs::Account account = m_inputs.account();
    useAccount(m_smtp, account);
    useDecisions(m_smtp, readServerDecisions(database, account));
    // The password never goes into the trace.
    qCInfo(dispatchLog) << "run of mail" << m_inputs.mailChoice() << "to" << total << "customers through"
                        << account.server << "as" << account.userName << "leaving out" << plan.alreadySent
                        << "already sent and" << plan.duplicates << "duplicate addresses";
    // The messages the daily cap counts: those of earlier runs from the records, then this run's.
    QList<QDateTime> accepted
        = readAcceptedSince(database, QDateTime::currentDateTime().addMSecs(-m_limits.capDay.count()));
    bool connected = false;
    // A run that leaves everybody out has nobody to talk to the server for.
    if (total > 0 && (!waitForCap(accepted, connected, total) || !connectServer(connected)))
        return false;

    // A record the database keeps refusing ends the run; when the customer's message went out, the
    // box names them, so that the user does not mail them again.
    const auto recordRefused = [&](const Recipient &customer, const DatabaseError &e, bool delivered) {
        reportCounts(total);
        const QString counts
            = countsLine(m_sent, m_failed, total, m_unknown) + QStringLiteral("\n原因：") + e.message();
        if (!delivered)
            throw Error(QStringLiteral("发送记录无法写入数据库，发送已停止。\n") + counts);
        throw UnrecordedError(QStringLiteral("发送记录无法写入数据库，发送已停止。\n"
                                             "客户ID %1（%2 <%3>）的邮件已经发出，但发送结果没有记录下来"
                                             "（发送记录显示为“结果未知”），请不要再给这位客户发送。\n")
                                  .arg(customer.id)
                                  .arg(customer.name, customer.address)
                              + counts);
    };
    // Each reading of the local clock costs a look at the time zone's file: the daily cap of the next
    // customer is counted at the moment the last record read, a moment early, which only keeps
    // the cap stricter.
    QDateTime lastReading;
    const auto now = [&] {
        lastReading = QDateTime::currentDateTime();
        return formatDateTime(lastReading);
    };

    // A customer the run leaves out gets their record at once, and so does one the server refused
    // before the message's content: nothing of it went out.
    const auto record = [&](const Recipient &customer, const QString &result) {
        const QString sendDate = now();
        const QString mailChoice = m_inputs.mailChoice();
        qint64 key = 0;
        try {
            retry(m_limits.recordRetry, [&] { key = records->append(customer.id, mailChoice, sendDate, result); });
        } catch (const DatabaseError &e) {
            recordRefused(customer, e, false);
        }
        report([&](SendRunReport &r) { r.records.append({key, customer.id, mailChoice.toLongLong(), sendDate, result}); });
    };

    RefusalStreak streak;
    // A customer whose message's content may go out has a record reading 发送中 on disk before
    // it does: the session asks for it once the server took the envelope, before DATA. The result
    // is written into that same record once known, so a run that ends in between (killed, the
    // machine stopped, the disk full) leaves the record saying the result is unknown, never a
    // customer mailed without a trace. A customer the server refused before DATA was sent nothing
    // of the message and gets one record, with the result: one commit instead of two. The window
    // is told of the record once, with its result. A refused intent throws the DatabaseError.
    const auto intend = [&](const Recipient &customer) {
        qint64 key = 0;
        const QString sendDate = now();
        const QString mailChoice = m_inputs.mailChoice();
        retry(m_limits.recordRetry, [&] { key = records->appendIntent(customer.id, mailChoice, sendDate); });
        return key;
    };
    const auto settle = [&](qint64 key, const Recipient &customer, const QString &result, bool delivered) {
        const QString sendDate = now();
        try {
            retry(m_limits.recordRetry, [&] { records->setResult(key, sendDate, result); });
        } catch (const DatabaseError &e) {
            recordRefused(customer, e, delivered);
        }
        const qint64 mailId = m_inputs.mailChoice().toLongLong();
        report([&](SendRunReport &r) { r.records.append({key, customer.id, mailId, sendDate, result}); });
    };

    for (const RunPlan::Step &step : plan.steps) {
        const Recipient &customer = step.customer;
        if (stopRequested())
            return false;
        report([&](SendRunReport &r) { r.customerName = customer.name; });
        if (step.duplicateAddress) {
            qCInfo(dispatchLog) << "customer" << customer.id << customer.address << "left out: address taken";
            record(customer, DuplicateAddressResult);
            continue;
        }
        bool refused = false;
        try {
            retry(m_limits.recordRetry, [&] { refused = refusals->contains(customer.address); });
        } catch (const DatabaseError &e) {
            // Nobody is mailed whose address could not be checked.
            throw Error(QStringLiteral("无法读取退订名单，发送已停止。\n") + countsLine(m_sent, m_failed, total)
                        + QStringLiteral("\n原因：") + e.message());
        }
        if (refused) {
            qCInfo(dispatchLog) << "customer" << customer.id << customer.address << "left out: on the list";
            ++m_refused;
            --total;
            record(customer, RefusedAddressResult);
            reportCounts(total);
            continue;
        }
        if (!waitForCap(accepted, connected, total, std::exchange(lastReading, {}))
            || (!connected && !connectServer(connected)))
            return false;
        if (claims) {
            bool won = false;
            try {
                retry(m_limits.recordRetry, [&] { won = claims->claim(customer.id); });
            } catch (const DatabaseError &e) {
                // Nobody is mailed whom another run might be mailing too.
                throw Error(QStringLiteral("无法认领客户，发送已停止。\n") + countsLine(m_sent, m_failed, total, m_unknown)
                            + QStringLiteral("\n原因：") + e.message());
            }
            if (!won) {
                qCInfo(dispatchLog) << "customer" << customer.id << customer.address << "left to another run";
                ++m_leftToOther;
                --total;
                reportCounts(total);
                continue;
            }
        }
        const SendRunInputs::Sender boxes = m_inputs.sender();
        MailMessage message = customerMessage({boxes.name, boxes.address}, mail, customer, refusal, file);

        QString failure; // null when the server accepted the message
        RunStop stop = RunStop::None;
        bool replyLost = false; // the whole message went out, its reply never came
        std::optional<qint64> key; // of the intent record, once written
        std::optional<DatabaseError> intentRefused;
        {
            ServerWait wait(*this, false, true);
            if (!wait.begun())
                return false;
            bool atLogin = true;
            try {
                // The login comes first and apart, so that its refusal is known as one.
                m_smtp.authenticate();
                atLogin = false;
                m_smtp.send(message, [&] { key = intend(customer); });
            } catch (const DatabaseError &e) {
                // Only the intent throws it: the message's content did not go out.
                intentRefused = e;
            } catch (const std::exception &e) {
                failure = failureDetail(e);
                replyLost = !atLogin && m_smtp.replyLostAfterMessage();
                bool usable = false;
                try {
                    usable = m_smtp.isConnected();
                } catch (const std::exception &) {
                }
                SendFailure seen{failureKind(e), replyCode(e), atLogin, m_sent > 0, usable, refusalStep(e),
                                 enhancedCode(e)};
                seen.encryptionDemanded = demandsEncryption(e);
                seen.inARow = streak.note(&seen);
                stop = runStopFor(seen);
                // Whether the server took it is not known, so nobody after it is mailed over the
                // same doubt: the run ends as on a lost connection.
                if (replyLost && stop == RunStop::None)
                    stop = RunStop::ConnectionLost;
                qCInfo(dispatchLog) << "customer" << customer.id << customer.address << "failed:" << failure;
            }
        }
        if (intentRefused)
            recordRefused(customer, *intentRefused, false);
        if (failure.isNull()) {
            streak.note(nullptr);
            accepted.append(QDateTime::currentDateTime());
            ++m_sent;
            qCInfo(dispatchLog) << "customer" << customer.id << customer.address << "accepted";
            // The label counts the message during the pause that follows, not only once it is over.
            reportCounts(total);
            pause(m_inputs.pauseChoice().toInt());
        } else if (replyLost) {
            ++m_unknown;
        } else {
            ++m_failed;
        }

        const QString result = replyLost ? unknownResult(failure) : sendResult(failure);
        if (key)
            settle(*key, customer, result, failure.isNull() || replyLost);
        else
            record(customer, result);
        if (claims) {
            try {
                retry(m_limits.recordRetry, [&] { claims->settle(customer.id); });
            } catch (const DatabaseError &e) {
                recordRefused(customer, e, failure.isNull() || replyLost);
            }
        }
        reportCounts(total);

        if (stop != RunStop::None) {
            QString advice;
            if (isAccountStop(stop)) {
                // The rest can go once the provider allows again; a cap the provider's limit came
                // before is set too high.
                const int cap = m_inputs.dailyCap();
                if (cap > 0)
                    advice += QStringLiteral("\n邮件服务商的发送限额先于每日上限（%1 封）用完，请把“每日最多发送”调低。")
                                  .arg(cap);
                advice += QLatin1Char('\n') + ResumeAdvice + QStringLiteral("。");
            }
            if (replyLost) {
                advice += QStringLiteral("\n客户ID %1（%2 <%3>）的邮件已经发出，但没有收到服务器的回复，不知道是否送达"
                                         "（发送记录为“结果未知”）。\n")
                              .arg(customer.id)
                              .arg(customer.name, customer.address)
                    + ResumeAdvice
                    + QStringLiteral("；结果未知的客户不会再收到这封邮件，除非您在发送前的确认中选择再次发送给他们。");
            }
            throw Error(runStopReason(stop) + QStringLiteral("，发送已停止。\n")
                        + countsLine(m_sent, m_failed, total, m_unknown) + advice + QStringLiteral("\n原因：") + failure);
        }
    }
    if (stopRequested())
        return false;
    m_summary = completionText(plan, m_sent, m_failed, m_refused);
    if (m_leftToOther > 0)
        m_summary += QStringLiteral("\n另有 %1 位客户由同时发送这封邮件的另一处程序发送。").arg(m_leftToOther);
    return true;
}

void SendRun::retry(std::chrono::milliseconds limit, const std::function<void()> &attempt)
{
    const SteadyClock::time_point deadline = SteadyClock::now() + limit;
    for (;;) {
        try {
            attempt();
            return;
        } catch (const DatabaseError &e) {
            std::unique_lock lock(m_mutex);
            if (m_stopRequested || SteadyClock::now() >= deadline)
                throw;
            qCInfo(dispatchLog) << "database refused, trying again:" << e.message();
            m_wake.wait_until(lock, std::min(deadline, SteadyClock::now() + RetryInterval),
                              [this] { return m_stopRequested; });
        }
    }
}

void SendRun::pause(int seconds)
{
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, seconds * m_limits.pauseSecond, [this] { return m_stopRequested; });
}

bool SendRun::waitForCap(QList<QDateTime> &accepted, bool &connected, int total, QDateTime now)
{
    bool waited = false;
    for (;;) {
        const int cap = m_inputs.dailyCap();
        if (!now.isValid())
            now = QDateTime::currentDateTime();
        accepted.removeIf([&](const QDateTime &moment) { return moment.msecsTo(now) >= m_limits.capDay.count(); });
        const CapBudget budget = capBudget(cap, accepted, now, m_limits.capDay);
        if (budget.allowed > 0)
            break;
        // Hours without a word would make the server close the connection: it is ended in order
        // now and made anew when the cap allows.
        if (connected) {
            closeConnection();
            connected = false;
        }
        qCInfo(dispatchLog) << "daily cap of" << cap << "reached; waiting until" << budget.nextAt;
        emit capWaiting(cap, budget.nextAt);
        waited = true;
        // Woken before the moment (or the cap changed meanwhile): the budget is asked again.
        std::unique_lock lock(m_mutex);
        const auto left = std::chrono::milliseconds(std::max<qint64>(0, now.msecsTo(budget.nextAt)));
        if (m_wake.wait_for(lock, left, [this] { return m_stopRequested; }))
            return false;
        now = QDateTime();
    }
    if (waited)
        reportCounts(total);
    return !stopRequested();
}

bool SendRun::connectServer(bool &connected)
{
    ServerWait wait(*this);
    if (!wait.begun())
        return false;
    m_smtp.connect();
    connected = true;
    return true;
}

void SendRun::closeConnection()
{
    // QUIT goes out while the connection is still usable; after a stop it may not keep the window
    // waiting, and a second stop aborts it.
    const SmtpTimeouts timeouts = m_smtp.timeouts;
    ServerWait wait(*this, true);
    if (stopRequested())
        m_smtp.timeouts.other = int(m_limits.quitAfterStop.count());
    try {
        m_smtp.disconnect();
    } catch (const std::exception &e) {
        // Every customer has had its attempt and its record by now; the end of the conversation
        // changes nothing of that.
        qCInfo(dispatchLog) << "disconnect failed:" << errorText(e);
    }
    m_smtp.timeouts = timeouts;
}
