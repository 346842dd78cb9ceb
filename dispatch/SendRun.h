#pragma once

#include "DatabaseLocation.h"
#include "RunQuestion.h"
#include "SendRunInputs.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

class SmtpSession;

// What a send run has come to since its report was last taken (SendRun::takeReport).
struct SendRunReport
{
    // A send record the run wrote; `key` is its row's key.
    struct Record
    {
        qint64 key = 0;
        qint64 customerId = 0;
        qint64 mailId = 0;
        QString sendDate;
        QString result;
    };
    // The messages the server accepted and the failed ones so far, of `total` customers.
    struct Counts
    {
        int sent = 0;
        int failed = 0;
        int total = 0;
    };
    // In the order they were written.
    QList<Record> records;
    // The customer reached last, before their message went out; unset when none was since.
    std::optional<QString> customerName;
    // The latest counts; unset when they did not change since.
    std::optional<Counts> counts;
};

// The run's time limits (tests make them short).
struct SendRunLimits
{
    // How long the check before connecting waits for another program's write to end.
    std::chrono::milliseconds writeCheck = std::chrono::seconds(5);
    // How long a send record the database refuses is tried again before the run stops.
    std::chrono::milliseconds recordRetry = std::chrono::seconds(30);
    // How long QUIT may wait for its answer once a stop was asked for.
    std::chrono::milliseconds quitAfterStop = std::chrono::milliseconds(500);
    // Every wait on the server at most this long; unset: the session's own limits, of minutes.
    std::optional<std::chrono::milliseconds> serverWait = std::nullopt;
    // How long one second of the pause choice lasts (tests scale the pause down).
    std::chrono::milliseconds pauseSecond = std::chrono::seconds(1);
    // The span the daily cap counts over (tests make a day a few seconds).
    std::chrono::milliseconds capDay = std::chrono::hours(24);
    // How long the message exchange under way may take to finish once a stop after it was asked
    // for; then it is aborted.
    std::chrono::milliseconds finishAfterStop = std::chrono::seconds(3);
    // On a server: how long a claim on a customer, without a result, keeps other runs away from
    // the customer when its run never ends (SendClaims).
    std::chrono::milliseconds claimStale = std::chrono::minutes(30);
};

// One send run: the chosen mail to every customer (but those the skip choice leaves out, RunPlan),
// one message each over one SMTP connection of its own session, a pause after each accepted message, one send record
// per customer reached carrying its result. A failure
// that would repeat for every following customer (the login refused, the server closing, the
// connection lost) stops the run instead. It runs on a thread of its own with its own connection
// to the database, reading the customers and the chosen mail once at its start. It reaches the
// window only through its inputs, which it reads without waiting, and its signals, which it emits
// from its own thread: connected queued, they never make it wait for the window either, so the
// window can stop and join it at any moment.
class SendRun : public QObject
{
    Q_OBJECT

public:
    // `database` is where the window's data is; the run opens its own connection to it.
    SendRun(const SendRunInputs &inputs, DatabaseLocation database, SendRunLimits limits = {});
    // Waits for the thread; ask it to stop first when it should not finish the whole list.
    ~SendRun() override;
    SendRun(const SendRun &) = delete;
    SendRun &operator=(const SendRun &) = delete;

    void start();
    enum class Stop {
        // Whatever the run waits for ends at once, a message exchange under way too.
        Now,
        // A message exchange under way may finish (within SendRunLimits::finishAfterStop), so that
        // its result is known and QUIT can still go out; anything else ends at once.
        AfterCurrent,
    };
    // Thread-safe. A pause simply ends, a wait on the server (connect, reply, write) is aborted with
    // the connection. The customer at hand is recorded, QUIT goes out while the connection is still
    // usable, and the run ends with `stopped` (a box of its own only for customers that were sent to
    // and could not be recorded). A second call stops at once, whatever the first asked for.
    void requestStop(Stop how = Stop::Now);
    // True from start until the run has ended; `finished` follows.
    bool running() const { return m_running; }
    // Thread-safe. What the run reported since the last call; the next change emits `reported`
    // again. Everything the run reports comes before its `finished`.
    SendRunReport takeReport();

signals:
    // The run has something to report: the customer it is at, a send record it wrote, its counts
    // (once the customers are read, then after every customer). Emitted once until the report is
    // taken, however much the run adds to it meanwhile: a run whose customers are refused reaches
    // them far faster than a window would want to be woken.
    void reported();
    // The daily cap is used up: the run waits, without a connection, until `resumeAt`, then goes
    // on with the same customers (new counts follow).
    void capWaiting(int cap, const QDateTime &resumeAt);
    // The run went through every customer; `summary` is the text of its box.
    void completed(const QString &summary);
    // An error that ended the run, with the text of its error box; the connection is closed after it.
    void failed(const QString &message);
    // A stop the user asked for ended the run before its last customer; `summary` is the text of its
    // box: the counts and how to send to the rest.
    void stopped(const QString &summary);
    // The run stopped before reaching any customer because only the user can decide: a certificate
    // to trust, or a password to send in clear. Comes instead of `failed`.
    void asked(const RunQuestion &question);
    void finished();

private:
    class ServerWait;

    void work();
    // False when a stop ended it before the last customer.
    bool sendToEveryCustomer();
    // Runs `attempt` until it succeeds, the limit runs out or a stop is asked for; then gives up
    // with its database error.
    void retry(std::chrono::milliseconds limit, const std::function<void()> &attempt);
    void pause(int seconds);
    // Waits while the daily cap allows nothing, QUIT sent first; `accepted` holds the moments the
    // cap counts, `now` the clock when it was just read (unset: it is read). False when a stop ended
    // the wait.
    bool waitForCap(QList<QDateTime> &accepted, bool &connected, int total, QDateTime now = {});
    // Connects; false when a stop came first.
    bool connectServer(bool &connected);
    void closeConnection();
    bool stopRequested();
    // Aborts the message exchange a stop let go on, once it has had its time.
    void watchStoppedExchange();
    QString stopText() const;
    // Adds to the report (on the run's thread), `reported` when it was taken since.
    template<class Change>
    void report(Change change);
    void reportCounts(int total);

    const SendRunInputs &m_inputs;
    // The run's own session, made with the run: nothing else talks to its server.
    std::unique_ptr<SmtpSession> m_session;
    SmtpSession &m_smtp;
    DatabaseLocation m_database;
    SendRunLimits m_limits;

    std::thread m_thread;
    std::atomic<bool> m_running = false;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopRequested = false;
    bool m_stopNow = false;
    bool m_waitingOnServer = false;
    bool m_inExchange = false; // a customer's message is under way
    std::thread m_exchangeWatch;

    std::mutex m_reportMutex;
    SendRunReport m_report;
    bool m_reportWaiting = false; // `reported` was emitted and the report not taken since

    // The run's thread only.
    int m_sent = 0;
    int m_failed = 0;
    int m_unknown = 0; // the whole message went out, the reply never came
    int m_total = 0; // the customers to mail, less those found on the do-not-mail list
    int m_refused = 0; // left out: on the do-not-mail list
    int m_leftToOther = 0; // left out: another run sending the same mail holds them
    QString m_summary;
};
