#include "SendRun.h"

#include "Database.h"
#include "DatabaseError.h"
#include "DateTimeText.h"
#include "DispatchLog.h"
#include "Error.h"
#include "Greeting.h"
#include "MailErrors.h"
#include "MailMessage.h"
#include "RunPlan.h"
#include "SendFailure.h"
#include "ServerText.h"
#include "SmtpSession.h"
#include "SendRecords.h"
#include "ServerTrust.h"

#include <QDateTime>

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

QString countsLine(int sent, int failed, int total)
{
    return QStringLiteral("已发送 %1 封，失败 %2 封，其余 %3 位客户没有发送。")
        .arg(sent)
        .arg(failed)
        .arg(total - sent - failed);
}

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
    ServerWait(SendRun &run, bool evenWhenStopping = false)
        : m_run(run)
    {
        std::lock_guard lock(m_run.m_mutex);
        m_begun = evenWhenStopping || !m_run.m_stopRequested;
        m_run.m_waitingOnServer = m_begun;
    }
    ~ServerWait()
    {
        std::lock_guard lock(m_run.m_mutex);
        m_run.m_waitingOnServer = false;
    }
    ServerWait(const ServerWait &) = delete;
    ServerWait &operator=(const ServerWait &) = delete;

    bool begun() const { return m_begun; }

private:
    SendRun &m_run;
    bool m_begun = false;
};

SendRun::SendRun(const SendRunInputs &inputs, QString databasePath, SendRunLimits limits)
    : m_inputs(inputs)
    , m_session(std::make_unique<SmtpSession>())
    , m_smtp(*m_session)
    , m_databasePath(std::move(databasePath))
    , m_limits(limits)
{
    if (m_limits.serverWait)
        m_smtp.timeouts = SmtpTimeouts::all(TimeoutMs(m_limits.serverWait->count()));
}

SendRun::~SendRun()
{
    if (m_thread.joinable())
        m_thread.join();
}

void SendRun::start()
{
    m_running = true;
    m_thread = std::thread([this] { work(); });
}

void SendRun::requestStop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopRequested = true;
        if (m_waitingOnServer)
            m_smtp.abort();
    }
    m_wake.notify_all();
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
    qCInfo(dispatchLog) << "run ended";
    m_running = false;
    emit finished();
}

bool SendRun::sendToEveryCustomer()
{
    Database database(m_databasePath);
    database.setConnected(true);
    // The run's own short busy wait; it waits longer by trying again, and a stop ends that at once.
    database.setBusyWait(BusyWaitMs);
    const qint64 mailId = m_inputs.mailChoice().toLongLong();
    const bool skipSent = m_inputs.skipSent();
    const RunPlan plan
        = planRun(readCustomers(database), skipSent ? readSentCustomers(database, mailId) : QSet<qint64>(), skipSent);
    const MailText mail = readMail(database, mailId);
    const int total = plan.toSend;

    // No message goes out that could not be recorded afterwards.
    std::optional<SendRecords> records;
    try {
        records.emplace(database);
        retry(m_limits.writeCheck, [&] { records->checkWritable(); });
    } catch (const DatabaseError &e) {
        throw Error(QStringLiteral("无法写入发送记录，发送没有开始。\n原因：") + e.message());
    }
    emit progressed(0, 0, total);

    const SendRunInputs::Account account = m_inputs.account();
    const ServerAddress server = parseServerText(account.server);
    m_smtp.host = server.host;
    m_smtp.userName = account.userName;
    m_smtp.port = server.port;
    m_smtp.security = securityForPort(server.port);
    m_smtp.password = account.password;
    // What the user decided about this server before; a file that lacks the tables (one the program
    // could not bring up to date) has decided nothing.
    try {
        m_smtp.pinnedFingerprint = readTrustedFingerprint(database.handle(), server.host, server.port);
        m_smtp.cleartextLoginAgreed
            = readCleartextLoginAgreed(database.handle(), server.host, server.port, account.userName);
    } catch (const DatabaseError &e) {
        qCInfo(dispatchLog) << "no stored decisions about the server:" << e.message();
    }
    // The password never goes into the trace.
    qCInfo(dispatchLog) << "run of mail" << m_inputs.mailChoice() << "to" << total << "customers through"
                        << account.server << "as" << account.userName << "leaving out" << plan.alreadySent
                        << "already sent and" << plan.duplicates << "duplicate addresses";
    // A run that leaves everybody out has nobody to talk to the server for.
    if (total > 0) {
        ServerWait wait(*this);
        if (!wait.begun())
            return false;
        m_smtp.connect();
    }

    // Each customer reached gets its record before the run goes on to the next; `delivered` when the
    // server took the customer's message.
    const auto record = [&](const Recipient &customer, const QString &result, bool delivered) {
        const QString sendDate = formatDateTime(QDateTime::currentDateTime());
        const QString mailChoice = m_inputs.mailChoice();
        qint64 key = 0;
        try {
            retry(m_limits.recordRetry, [&] { key = records->append(customer.id, mailChoice, sendDate, result); });
        } catch (const DatabaseError &e) {
            emit progressed(m_sent, m_failed, total);
            const QString counts = countsLine(m_sent, m_failed, total) + QStringLiteral("\n原因：") + e.message();
            if (!delivered)
                throw Error(QStringLiteral("发送记录无法写入数据库，发送已停止。\n") + counts);
            throw UnrecordedError(
                QStringLiteral("发送记录无法写入数据库，发送已停止。\n"
                               "客户ID %1（%2 <%3>）的邮件已经发出，但没有记录下来，请不要再给这位客户发送。\n")
                    .arg(customer.id)
                    .arg(customer.name, customer.address)
                + counts);
        }
        emit recordWritten(key, customer.id, mailChoice.toLongLong(), sendDate, result);
    };

    for (const RunPlan::Step &step : plan.steps) {
        const Recipient &customer = step.customer;
        if (stopRequested())
            return false;
        emit customerReached(customer.id);
        if (step.duplicateAddress) {
            qCInfo(dispatchLog) << "customer" << customer.id << customer.address << "left out: address taken";
            record(customer, DuplicateAddressResult, false);
            continue;
        }
        const SendRunInputs::Sender boxes = m_inputs.sender();
        MailMessage message;
        fillMessage(message, {boxes.name, boxes.address}, mail, customer);

        QString failure; // null when the server accepted the message
        RunStop stop = RunStop::None;
        {
            ServerWait wait(*this);
            if (!wait.begun())
                return false;
            bool atLogin = true;
            try {
                // The login comes first and apart, so that its refusal is known as one.
                m_smtp.authenticate();
                atLogin = false;
                m_smtp.send(message);
            } catch (const std::exception &e) {
                failure = failureDetail(e);
                bool usable = false;
                try {
                    usable = m_smtp.isConnected();
                } catch (const std::exception &) {
                }
                stop = runStopFor({failureKind(e), replyCode(e), atLogin, m_sent > 0, usable, demandsEncryption(e)});
                qCInfo(dispatchLog) << "customer" << customer.id << customer.address << "failed:" << failure;
            }
        }
        if (failure.isNull()) {
            ++m_sent;
            qCInfo(dispatchLog) << "customer" << customer.id << customer.address << "accepted";
            // The label counts the message during the pause that follows, not only once it is over.
            emit progressed(m_sent, m_failed, total);
            pause(m_inputs.pauseChoice().toInt());
        } else {
            ++m_failed;
        }

        record(customer, sendResult(failure), failure.isNull());
        emit progressed(m_sent, m_failed, total);

        if (stop != RunStop::None) {
            throw Error(runStopReason(stop) + QStringLiteral("，发送已停止。\n") + countsLine(m_sent, m_failed, total)
                        + QStringLiteral("\n原因：") + failure);
        }
    }
    if (stopRequested())
        return false;
    m_summary = completionText(plan, m_sent, m_failed);
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
