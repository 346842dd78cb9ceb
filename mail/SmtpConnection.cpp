#include "SmtpConnection.h"

#include "MailErrors.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>

namespace {

constexpr qsizetype ReadPiece = 32768;
// How much already-arrived input the connected test takes in at most, so a peer that keeps sending
// cannot hold it in a loop.
constexpr int ConnectedTestPieces = 64;

using Clock = std::chrono::steady_clock;

Clock::time_point deadlineAfter(TimeoutMs timeout)
{
    return timeout < 0 ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(timeout);
}

int pollMilliseconds(Clock::time_point deadline)
{
    if (deadline == Clock::time_point::max())
        return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return int(std::clamp<decltype(left)>(left, 0, INT_MAX));
}

// Four decimal numbers from 0 to 255 separated by dots, and nothing else.
bool parseDottedIPv4(const QString &host, in_addr &address)
{
    const QStringList parts = host.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    quint32 value = 0;
    for (const QString &part : parts) {
        if (part.isEmpty() || part.size() > 3)
            return false;
        for (const QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
        }
        const uint number = part.toUInt();
        if (number > 255)
            return false;
        value = value << 8 | number;
    }
    address.s_addr = htonl(value);
    return true;
}

in_addr resolveIPv4(const QString &host)
{
    in_addr address{};
    if (parseDottedIPv4(host, address))
        return address;
    if (host.compare(QLatin1String("LOCALHOST"), Qt::CaseInsensitive) == 0) {
        address.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }

    const QString hostNotFound = QStringLiteral("Host not found.");
    // A NUL would cut the name short and look up another one.
    if (host.contains(QChar(0)))
        throw SocketError(EAI_NONAME, hostNotFound);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const int rc = getaddrinfo(host.toUtf8().constData(), nullptr, &hints, &found);
    if (rc == EAI_SYSTEM)
        raiseSocketError(errno);
    if (rc != 0 || !found)
        throw SocketError(rc != 0 ? rc : EAI_NONAME, hostNotFound);
    address = reinterpret_cast<const sockaddr_in *>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return address;
}

} // namespace

AbortSignal::AbortSignal()
    : m_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

AbortSignal::~AbortSignal()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void AbortSignal::raise() noexcept
{
    m_raised.store(true);
    const std::uint64_t one = 1;
    if (m_fd >= 0) [[maybe_unused]]
        const auto written = ::write(m_fd, &one, sizeof one);
}

void AbortSignal::reset() noexcept
{
    std::uint64_t count = 0;
    if (m_fd >= 0) [[maybe_unused]]
        const auto read = ::read(m_fd, &count, sizeof count);
    m_raised.store(false);
}

SmtpConnection::SmtpConnection(const AbortSignal &abort)
    : m_abort(abort)
{
}

SmtpConnection::~SmtpConnection()
{
    releaseSocket();
}

void SmtpConnection::open(const QString &host, quint16 port, TimeoutMs connectTimeout)
{
    releaseSocket();
    m_buffer.clear();
    m_closedByPeer = false;
    m_moreComing = false;
    m_open = true;
    try {
        if (m_abort.raised())
            failClosing(ECONNABORTED);
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (m_fd < 0)
            raiseSocketError(errno);

        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_ANY);
        if (::bind(m_fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0)
            throw CouldNotBindSocketError();
        // Nagle's algorithm stays on: small writes outside the data phase are joined by the kernel.
        const int off = 0;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &off, sizeof off);

        sockaddr_in remote{};
        remote.sin_family = AF_INET;
        remote.sin_port = htons(port);
        remote.sin_addr = resolveIPv4(host);
        if (::connect(m_fd, reinterpret_cast<const sockaddr *>(&remote), sizeof remote) != 0) {
            if (errno != EINPROGRESS)
                raiseSocketError(errno);
            waitReady(Wait::Write, deadlineAfter(connectTimeout));
            int error = 0;
            socklen_t length = sizeof error;
            if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                error = errno;
            if (error != 0)
                raiseSocketError(error);
        }
    } catch (...) {
        releaseSocket();
        m_open = false;
        throw;
    }
}

void SmtpConnection::close()
{
    if (!m_open)
        return;
    if (m_fd >= 0)
        ::shutdown(m_fd, SHUT_WR);
    releaseSocket();
    m_open = false;
}

bool SmtpConnection::isConnected()
{
    if (!m_open)
        return false;
    for (int piece = 0; piece < ConnectedTestPieces && m_fd >= 0 && !m_closedByPeer; ++piece) {
        const qsizetype had = m_buffer.size();
        m_buffer.resize(had + ReadPiece);
        const ssize_t n = ::recv(m_fd, m_buffer.data() + had, ReadPiece, MSG_DONTWAIT);
        const int error = errno;
        m_buffer.resize(had + std::max<ssize_t>(n, 0));
        if (n > 0)
            continue;
        if (n < 0 && error == EINTR)
            continue;
        if (n < 0 && (error == EAGAIN || error == EWOULDBLOCK))
            break;
        releaseSocket();
        m_closedByPeer = true;
        if (n < 0)
            raiseSocketError(error);
    }
    return (m_fd >= 0 && !m_closedByPeer) || !m_buffer.isEmpty();
}

void SmtpConnection::writeLine(const QString &line, TextEncoding encoding)
{
    writeBytes(encodeLine(line, encoding));
}

void SmtpConnection::writeBlock(const QStringList &lines, TextEncoding encoding)
{
    QByteArray block;
    for (const QString &line : lines)
        block += encodeLine(line, encoding);
    writeBytes(block);
}

void SmtpConnection::writeBytes(const QByteArray &bytes)
{
    ensureUsable();
    const auto deadline = deadlineAfter(writeTimeout);
    const int flags = MSG_NOSIGNAL | (m_moreComing ? MSG_MORE : 0);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(m_fd, bytes.constData() + done, size_t(bytes.size() - done), flags);
        if (n >= 0) {
            done += n;
            continue;
        }
        const int error = errno;
        if (error == EINTR)
            continue;
        if (error == EAGAIN || error == EWOULDBLOCK) {
            waitReady(Wait::Write, deadline);
            continue;
        }
        if (error == ESHUTDOWN || error == ECONNABORTED || error == ECONNRESET) {
            releaseSocket();
            m_closedByPeer = true;
        }
        raiseSocketError(error);
    }
}

SmtpReply SmtpConnection::readReply(TimeoutMs timeout)
{
    const auto deadline = deadlineAfter(timeout);
    QStringList lines;
    for (;;) {
        // Reply bytes above 127 only ever reach error messages; UTF-8 keeps a server's own text readable.
        const QString line = trimControls(QString::fromUtf8(readLine(deadline)));
        if (line.isEmpty())
            continue;
        lines.append(line);
        if (isLastReplyLine(line))
            return parseReply(lines);
    }
}

QByteArray SmtpConnection::readLine(Clock::time_point deadline)
{
    for (;;) {
        const qsizetype lf = m_buffer.indexOf('\n');
        if (lf >= 0) {
            const qsizetype length = lf > 0 && m_buffer.at(lf - 1) == '\r' ? lf - 1 : lf;
            if (length > maxLineLength)
                throw LineTooLongError();
            QByteArray line = m_buffer.left(length);
            m_buffer.remove(0, lf + 1);
            return line;
        }
        // Past the limit (a last CR may still be the line's end) no LF can save the line: stop taking it in.
        if (m_buffer.size() - (m_buffer.endsWith('\r') ? 1 : 0) > maxLineLength)
            throw LineTooLongError();

        ensureUsable();
        waitReady(Wait::Read, deadline);
        const qsizetype had = m_buffer.size();
        m_buffer.resize(had + ReadPiece);
        const ssize_t n = ::recv(m_fd, m_buffer.data() + had, ReadPiece, 0);
        const int error = errno;
        m_buffer.resize(had + std::max<ssize_t>(n, 0));
        if (n > 0)
            continue;
        if (n == 0) {
            // The server closed its end: a partial line without its LF is lost.
            releaseSocket();
            m_closedByPeer = true;
            m_buffer.clear();
            throw ConnectionClosedError();
        }
        if (error == EINTR || error == EAGAIN || error == EWOULDBLOCK)
            continue;
        if (error == ESHUTDOWN || error == ECONNABORTED) {
            const bool partial = !m_buffer.isEmpty();
            releaseSocket();
            m_closedByPeer = true;
            if (partial) {
                m_buffer.clear();
                throw ConnectionClosedError();
            }
        }
        raiseSocketError(error);
    }
}

void SmtpConnection::waitReady(Wait what, Clock::time_point deadline)
{
    for (;;) {
        if (m_abort.raised())
            failClosing(ECONNABORTED);
        pollfd fds[2] = {{m_fd, short(what == Wait::Read ? POLLIN : POLLOUT), 0}, {m_abort.fd(), POLLIN, 0}};
        const int rc = ::poll(fds, 2, pollMilliseconds(deadline));
        if (rc < 0) {
            if (errno == EINTR)
                continue;
            raiseSocketError(errno);
        }
        if (fds[1].revents != 0)
            failClosing(ECONNABORTED);
        if (rc == 0)
            failClosing(ETIMEDOUT);
        // Readiness, or an error or hang-up the following call reports.
        return;
    }
}

void SmtpConnection::ensureUsable()
{
    if (m_closedByPeer || m_fd < 0)
        throw ConnectionClosedError();
    if (m_abort.raised())
        failClosing(ECONNABORTED);
}

void SmtpConnection::releaseSocket()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void SmtpConnection::failClosing(int error)
{
    close();
    throw SocketError(error);
}
