#include "SmtpSink.h"

#include <openssl/ssl.h>

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

SmtpSink::SmtpSink(const Tls &tls)
    : SmtpSink()
{
    m_tls = SSL_CTX_new(TLS_server_method());
    if (!m_tls || SSL_CTX_use_certificate_chain_file(m_tls, tls.certificate.c_str()) != 1
        || SSL_CTX_use_PrivateKey_file(m_tls, tls.key.c_str(), SSL_FILETYPE_PEM) != 1)
        throw std::runtime_error("sink cannot load its certificate");
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
    SSL_CTX_free(m_tls);
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
    SSL *tls = nullptr;
    if (m_tls) {
        tls = SSL_new(m_tls);
        SSL_set_fd(tls, client);
        if (SSL_accept(tls) != 1) {
            SSL_free(tls);
            ::close(client);
            return;
        }
    }
    auto reply = [client, tls](const char *text) {
        if (tls)
            SSL_write(tls, text, int(std::strlen(text)));
        else
            ::send(client, text, std::strlen(text), MSG_NOSIGNAL);
    };
    auto finish = [client, tls] {
        SSL_free(tls);
        ::close(client);
    };
    reply("220 sink ESMTP\r\n");

    std::string pending;
    bool inData = false;
    char chunk[65536];
    for (;;) {
        // Bytes TLS has already decrypted are not seen by a wait on the socket.
        if (!tls || SSL_pending(tls) == 0) {
            pollfd fds[2] = {{client, POLLIN, 0}, {m_stop, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 && errno != EINTR)
                break;
            if (fds[1].revents)
                break;
        }
        const ssize_t n = tls ? SSL_read(tls, chunk, int(sizeof chunk)) : ::recv(client, chunk, sizeof chunk, 0);
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
            } else if (verb == "RCPT" && m_refuseRecipients) {
                reply("550 5.1.1 no such user\r\n");
            } else if (verb == "DATA") {
                inData = true;
                reply("354 go ahead\r\n");
            } else if (verb == "QUIT") {
                reply("221 bye\r\n");
                finish();
                return;
            } else {
                reply("250 ok\r\n");
            }
        }
        pending.erase(0, start);
    }
    finish();
}
