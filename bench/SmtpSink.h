#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <string>
#include <thread>

struct ssl_ctx_st;

// The fastest SMTP server loopback allows: answers every command at once with a fixed reply and
// throws the message text away; plain, or with TLS from the first byte. For measuring the client,
// not for testing it.
class SmtpSink
{
public:
    struct Tls
    {
        std::string certificate; // PEM files
        std::string key;
    };

    SmtpSink();
    // Implicit TLS with the given certificate and key.
    explicit SmtpSink(const Tls &tls);
    ~SmtpSink();
    SmtpSink(const SmtpSink &) = delete;
    SmtpSink &operator=(const SmtpSink &) = delete;

    std::uint16_t port() const { return m_port; }
    // Every RCPT TO is then answered "550 5.1.1 no such user", so each message ends before its data,
    // as for a list of addresses the server does not know.
    void setRefuseRecipients(bool refuse) { m_refuseRecipients = refuse; }

private:
    void acceptLoop();
    void serve(int client);

    ssl_ctx_st *m_tls = nullptr;
    int m_listener = -1;
    int m_stop = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_refuseRecipients = false;
    std::thread m_acceptor;
    std::list<std::thread> m_clients;
};
