#include "SmtpSink.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

SmtpSink::SmtpSink()
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof local;
    if (::bind(m_listener, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0 || ::listen(m_listener, 16) != 0
        || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&local), &length) != 0)
        throw std::runtime_error("sink cannot listen");
    m_port = ntohs(local.sin_port);
    m_stop = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_acceptor = std::thread(&SmtpSink::acceptLoop, this);
}

SmtpSink::~SmtpSink()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(m_stop, &one, sizeof one);
    m_acceptor.join();
    for (std::thread &client : m_clients)
        client.join();
    ::close(m_listener);
    ::close(m_stop);
}

void SmtpSink::acceptLoop()
{
    for (;;) {
        pollfd fds[2] = {{m_listener, POLLIN, 0}, {m_stop, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[1].revents)
            return;
        if (fds[0].revents) {
            const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0)
                m_clients.emplace_back(&SmtpSink::serve, this, client);
        }
    }
}

void SmtpSink::serve(int client)
{
    const int on = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    auto reply = [client](const char *text) { ::send(client, text, std::strlen(text), MSG_NOSIGNAL); };
    reply("220 sink ESMTP\r\n");

    std::string pending;
    bool inData = false;
    char chunk[65536];
    for (;;) {
        pollfd fds[2] = {{client, POLLIN, 0}, {m_stop, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            break;
        if (fds[1].revents)
            break;
        const ssize_t n = ::recv(client, chunk, sizeof chunk, 0);
        if (n <= 0)
            break;
        pending.append(chunk, size_t(n));
        size_t start = 0;
        for (size_t lf; (lf = pending.find('\n', start)) != std::string::npos; start = lf + 1) {
            const std::string_view line(pending.data() + start, lf + 1 - start);
            // The verb in upper case (smtplib writes its commands in lower case).
            std::string verb(line.substr(0, 4));
            for (char &c : verb)
                c = char(std::toupper(static_cast<unsigned char>(c)));
            if (inData) {
                if (line == ".\r\n") {
                    inData = false;
                    reply("250 2.0.0 queued\r\n");
                }
            } else if (verb == "EHLO") {
                reply("250-sink\r\n250 8BITMIME\r\n");
            } else if (verb == "DATA") {
                inData = true;
                reply("354 go ahead\r\n");
            } else if (verb == "QUIT") {
                reply("221 bye\r\n");
                ::close(client);
                return;
            } else {
                reply("250 ok\r\n");
            }
        }
        pending.erase(0, start);
    }
    ::close(client);
}
