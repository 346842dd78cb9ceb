#pragma once

#include "SendRunInputs.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

class SmtpSession;

// One send run: the chosen mail to every customer, one message each over one SMTP connection, a
// pause after each accepted message, one send record per customer. It runs on a thread of its own
// with its own connection to the database, reading the customers and the chosen mail once at its
// start. It reaches the window only through its inputs, which it reads without waiting, and its
// signals, which it emits from its own thread: connected queued, they never make it wait for the
// window either, so the window can stop and join it at any moment.
class SendRun : public QObject
{
    Q_OBJECT

public:
    // `databasePath` is the file the window works on; the run opens its own connection to it.
    SendRun(const SendRunInputs &inputs, SmtpSession &smtp, QString databasePath);
    // Waits for the thread; ask it to stop first when it should not finish the whole list.
    ~SendRun();
    SendRun(const SendRun &) = delete;
    SendRun &operator=(const SendRun &) = delete;

    void start();
    // Thread-safe. A pause in progress ends at once; the current customer's send is finished and its
    // record written, then the run disconnects (QUIT) and ends.
    void requestStop();
    // True from start until the run has ended; `finished` follows.
    bool running() const { return m_running; }

signals:
    // The customer the run is at, before its message goes out.
    void customerReached(qint64 customerId);
    // A send record the run wrote; `key` is its row's key.
    void recordWritten(qint64 key, qint64 customerId, qint64 mailId, const QString &sendDate);
    // An error that ended the run; the connection is closed after it.
    void failed(const QString &message);
    void finished();

private:
    void work();
    void sendToEveryCustomer();
    // Waits the pause unless a stop is asked for; true when the run should go on.
    void pause(int seconds);

    const SendRunInputs &m_inputs;
    SmtpSession &m_smtp;
    QString m_databasePath;

    std::thread m_thread;
    std::atomic<bool> m_running = false;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopRequested = false;
};
