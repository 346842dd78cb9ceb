#pragma once

#include "LineSink.h"
#include "SmtpReply.h"

#include <QByteArray>
#include <QString>

#include <sys/types.h>

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

struct ssl_st;

// One TCP connection over IPv4 carrying line-based commands and replies, plain or, once TLS has been
// started on it, encrypted. Every wait (connect, the TLS handshake, each reply, a write the peer does
// not take) is bounded by its time limit and ends at once when the abort signal is raised; either way
// the connection is closed and a socket error raised.
class SmtpConnection final : public LineSink
{
public:
    explicit SmtpConnection(const AbortSignal &abort);
    ~SmtpConnection() override;
    SmtpConnection(const SmtpConnection &) = delete;
    SmtpConnection &operator=(const SmtpConnection &) = delete;

    // Opens the connection; on failure the socket is closed again and the error raised.
    void open(const QString &host, quint16 port, TimeoutMs connectTimeout);
    // Shuts the sending direction down (after TLS's close notice) and releases the socket; nothing
    // when not open.
    void close();
    // Starts TLS on the open connection: the handshake within the time limit, the server's certificate
    // verified against the system's trust store and for the server name (sent as SNI). Input that came
    // before the handshake is dropped. On failure the connection is closed and a TlsError raised.
    // A certificate whose only fault is an issuer nobody trusts (self-signed, an internal authority)
    // is taken when its SHA-256 fingerprint is `pinnedFingerprint`; otherwise it raises
    // UntrustedCertificateError, or CertificateChangedError when another fingerprint was pinned. The
    // pin never excuses a wrong name or a date out of the certificate's validity. `port` only goes
    // into the certificate's details.
    void startTls(const QString &serverName, TimeoutMs timeout, quint16 port = 0,
                  const QString &pinnedFingerprint = QString());
    bool isEncrypted() const { return m_ssl != nullptr; }
    // The last handshake took the certificate by its pinned fingerprint.
    bool acceptedByFingerprint() const { return m_acceptedByFingerprint; }
    // Takes in whatever input has arrived, without waiting, then tells whether the connection is still
    // usable: open with the server's end not found closed, or unread input left.
    bool isConnected();

    void writeLine(QStringView line, TextEncoding encoding = TextEncoding::Ascii) override;
    void writeBlock(const QStringList &lines, TextEncoding encoding = TextEncoding::Ascii) override;
    // Hands the bytes to the socket (or TLS) in one write, repeating only for what it did not take.
    // Each write is sent at once: the callers write a whole command, or a whole message text.
    void writeBytes(const QByteArray &bytes) override;

    // One reply, read within the time limit.
    SmtpReply readReply(TimeoutMs timeout);

    int maxLineLength = 16384;
    // The longest a write may wait for the peer to take more of its data (RFC 5321's data block
    // limit); the wait starts again whenever the peer has taken some.
    TimeoutMs writeTimeout = 3 * 60 * 1000;

private:
    using Clock = std::chrono::steady_clock;
    enum class Wait { Read, Write };

    // One line without its CR LF, read before the deadline, as UTF-8; octets is set to its length in bytes.
    QString readLine(Clock::time_point deadline, qsizetype &octets);
    // Waits until the socket is ready; raises (after closing) when the time runs out or on abort.
    void waitReady(Wait what, Clock::time_point deadline);
    // A known loss fails at once, without touching the network.
    void ensureUsable();
    // One read of up to ReadPiece bytes, plain or through TLS; gives the bytes taken in, 0 at the end
    // of the stream, -1 with errno set for a failure, or -1 with errno EAGAIN when nothing is there yet.
    ssize_t receive(char *into, int flags);
    // One write, plain or through TLS, with the same results.
    ssize_t transmit(const char *data, size_t size, int flags);
    // The result of a failed TLS read or write in the same terms; a broken TLS stream raises TlsError.
    ssize_t tlsFailure(int rc);
    void releaseSocket();
    [[noreturn]] void failClosing(int error);

    const AbortSignal &m_abort;
    int m_fd = -1;
    bool m_open = false;
    bool m_closedByPeer = false;
    QByteArray m_buffer;
    ssl_st *m_ssl = nullptr;
    // What the last TLS read or write needs before it can go on: the socket readable or writable.
    Wait m_tlsWants = Wait::Read;
    // A fatal TLS error happened: no close notice may follow.
    bool m_tlsBroken = false;
    bool m_acceptedByFingerprint = false;
};
