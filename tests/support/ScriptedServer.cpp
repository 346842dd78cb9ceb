#include "ScriptedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace testsupport {

ScriptedServer::ScriptedServer(std::vector<Step> script, const QString &address, quint16 port,
                               std::chrono::milliseconds lifetime)
    : m_script(std::move(script))
    , m_address(address)
    , m_deadline(std::chrono::steady_clock::now() + lifetime)
{
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    if (inet_pton(AF_INET, address.toLatin1().constData(), &local.sin_addr) != 1
        || (ntohl(local.sin_addr.s_addr) >> 24) != 127)
        throw std::invalid_argument("ScriptedServer listens on loopback addresses only");

    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    socklen_t length = sizeof local;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0
        || ::listen(m_listener, 4) != 0
        || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&local), &length) != 0) {
        const int error = errno;
        if (m_listener >= 0)
            ::close(m_listener);
        throw std::runtime_error("ScriptedServer cannot listen: " + std::string(strerror(error)));
    }
    m_port = ntohs(local.sin_port);
    m_stop = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_thread = std::thread(&ScriptedServer::run, this);
}

ScriptedServer::~ScriptedServer()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(m_stop, &one, sizeof one);
    if (m_thread.joinable())
        m_thread.join();
    ::close(m_stop);
}

QByteArray ScriptedServer::received()
{
    if (m_thread.joinable() && std::this_thread::get_id() != m_thread.get_id())
        m_thread.join();
    std::lock_guard lock(m_mutex);
    return m_received;
}

QByteArray ScriptedServer::expected()
{
    received();
    std::lock_guard lock(m_mutex);
    return m_expected;
}

QList<QByteArray> ScriptedServer::dataBlocks()
{
    received();
    std::lock_guard lock(m_mutex);
    return m_dataBlocks;
}

QByteArray ScriptedServer::receivedSoFar()
{
    std::lock_guard lock(m_mutex);
    return m_received;
}

QString ScriptedServer::failure()
{
    received();
    std::lock_guard lock(m_mutex);
    return m_failure;
}

void ScriptedServer::fail(const QString &why)
{
    std::lock_guard lock(m_mutex);
    if (m_failure.isEmpty())
        m_failure = why;
}

// Waits for input on fd until the lifetime ends or the server is stopped.
bool ScriptedServer::waitReadable(int fd)
{
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(m_deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd fds[2] = {{fd, POLLIN, 0}, {m_stop, POLLIN, 0}};
        const int rc = ::poll(fds, 2, int(std::min<long long>(left.count(), INT_MAX)));
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc <= 0 || fds[1].revents != 0)
            return false;
        return true;
    }
}

void ScriptedServer::run()
{
    const bool ready = waitReadable(m_listener);
    const int client = ready ? ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC) : -1;
    // One conversation only: a second client is refused rather than left waiting.
    ::close(m_listener);
    if (client < 0) {
        fail(QStringLiteral("no client connected"));
        return;
    }
    serve(client);
}

void ScriptedServer::serve(int client)
{
    // Each step's bytes go out at once, so the lines of one reply never wait for the client's
    // acknowledgement of the ones before.
    const int on = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    bool open = true;
    for (const Step &step : m_script) {
        switch (step.kind) {
        case Step::Kind::Say:
            if (::send(client, step.bytes.constData(), size_t(step.bytes.size()), MSG_NOSIGNAL) != step.bytes.size()) {
                fail(QStringLiteral("could not send: ") + QString::fromLatin1(step.bytes));
                open = false;
            }
            break;
        case Step::Kind::Expect: {
            {
                std::lock_guard lock(m_mutex);
                m_expected += step.bytes + "\r\n";
            }
            QByteArray line;
            if (!readLine(client, line)) {
                fail(QStringLiteral("no line from the client where the script expects: ")
                     + QString::fromLatin1(step.bytes));
                open = false;
            }
            break;
        }
        case Step::Kind::ExpectData: {
            QByteArray block;
            QByteArray line;
            bool complete = false;
            while (readLine(client, line)) {
                block += line;
                if (line == ".\r\n") {
                    complete = true;
                    break;
                }
            }
            std::lock_guard lock(m_mutex);
            m_expected += block;
            m_dataBlocks.append(block);
            if (!complete) {
                m_failure
                    = m_failure.isEmpty() ? QStringLiteral("the DATA text did not end with a \".\" line") : m_failure;
                open = false;
            }
            break;
        }
        case Step::Kind::Pause:
            std::this_thread::sleep_for(
                std::min<std::chrono::nanoseconds>(step.pause, m_deadline - std::chrono::steady_clock::now()));
            break;
        case Step::Kind::Close:
            ::shutdown(client, SHUT_RDWR);
            open = false;
            break;
        case Step::Kind::Reset: {
            const linger abortive{1, 0};
            ::setsockopt(client, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
            open = false;
            break;
        }
        }
        if (!open)
            break;
    }

    // Past the script: take in whatever else comes, answering nothing, until the client closes.
    QByteArray rest;
    while (open && readLine(client, rest)) { }
    ::close(client);
}

// Reads up to and including the next LF (kept in the line); false when the client closed first or
// the server's time is up. Every byte read is recorded as it arrives.
bool ScriptedServer::readLine(int client, QByteArray &line)
{
    for (;;) {
        const qsizetype lf = m_pending.indexOf('\n');
        if (lf >= 0) {
            line = m_pending.left(lf + 1);
            m_pending.remove(0, lf + 1);
            return true;
        }
        if (!waitReadable(client))
            return false;
        char chunk[65536];
        const ssize_t n = ::recv(client, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return false;
        m_pending.append(chunk, n);
        std::lock_guard lock(m_mutex);
        m_received.append(chunk, n);
    }
}

} // namespace testsupport
