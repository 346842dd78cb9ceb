#pragma once

#include "LineSink.h"
#include "SmtpReply.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>

// A flag another thread can raise to make every wait of a connection end at once: the waits poll
// this descriptor beside the socket. It stays raised until reset.
class AbortSignal
{
public:
    AbortSignal();
    ~AbortSignal();
    AbortSignal(const AbortSignal &) = delete;
    AbortSignal &operator=(const AbortSignal &) = delete;

    void raise() noexcept;
    void reset() noexcept;
    bool raised() const noexcept { return m_raised.load(); }
    int fd() const noexcept { return m_fd; }

private:
    int m_fd;
    std::atomic<bool> m_raised{false};
};

// Milliseconds a wait may take; negative for no limit.
using TimeoutMs = int;
constexpr TimeoutMs noTimeout = -1;

// One plain TCP connection over IPv4 carrying line-based commands and replies. Every wait (connect,
// each reply, a write the peer does not take) is bounded by its time limit and ends at once when the
// abort signal is raised; either way the connection is closed and a socket error raised.
class SmtpConnection final : public LineSink
{
public:
    explicit SmtpConnection(const AbortSignal &abort);
    ~SmtpConnection() override;
    SmtpConnection(const SmtpConnection &) = delete;
    SmtpConnection &operator=(const SmtpConnection &) = delete;

    // Opens the connection; on failure the socket is closed again and the error raised.
    void open(const QString &host, quint16 port, TimeoutMs connectTimeout);
    // Shuts the sending direction down and releases the socket; nothing when not open.
    void close();
    // Takes in whatever input has arrived, without waiting, then tells whether the connection is still
    // usable: open with the server's end not found closed, or unread input left.
    bool isConnected();

    void writeLine(const QString &line, TextEncoding encoding = TextEncoding::Ascii) override;
    void writeBlock(const QStringList &lines, TextEncoding encoding = TextEncoding::Ascii) override;
    // Hands the bytes to the socket, repeating until it has taken them all.
    void writeBytes(const QByteArray &bytes);

    // While set, every write tells the kernel more data follows at once, so a run of small lines is
    // sent in full segments instead of each small one waiting for the peer's delayed acknowledgement.
    // The write after clearing it pushes everything out.
    void setMoreComing(bool more) { m_moreComing = more; }

    // One reply, read within the time limit.
    SmtpReply readReply(TimeoutMs timeout);

    int maxLineLength = 16384;
    // The longest a single write may wait for the peer to take data (RFC 5321's data block limit).
    TimeoutMs writeTimeout = 3 * 60 * 1000;

private:
    using Clock = std::chrono::steady_clock;
    enum class Wait { Read, Write };

    // One line without its CR LF, read before the deadline.
    QByteArray readLine(Clock::time_point deadline);
    // Waits until the socket is ready; raises (after closing) when the time runs out or on abort.
    void waitReady(Wait what, Clock::time_point deadline);
    // A known loss fails at once, without touching the network.
    void ensureUsable();
    void releaseSocket();
    [[noreturn]] void failClosing(int error);

    const AbortSignal &m_abort;
    int m_fd = -1;
    bool m_open = false;
    bool m_closedByPeer = false;
    bool m_moreComing = false;
    QByteArray m_buffer;
};
