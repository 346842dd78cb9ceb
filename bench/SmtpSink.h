#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <thread>

// The fastest SMTP server loopback allows: answers every command at once with a fixed reply and
// throws the message text away. For measuring the client, not for testing it.
class SmtpSink
{
public:
    SmtpSink();
    ~SmtpSink();
    SmtpSink(const SmtpSink &) = delete;
    SmtpSink &operator=(const SmtpSink &) = delete;

    std::uint16_t port() const { return m_port; }

private:
    void acceptLoop();
    void serve(int client);

    int m_listener = -1;
    int m_stop = -1;
    std::uint16_t m_port = 0;
    std::thread m_acceptor;
    std::list<std::thread> m_clients;
};
