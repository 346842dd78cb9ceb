#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace testsupport {

// A line-protocol server for one client connection that plays a script: it says what the script says,
// waits for each line the script expects, and records every byte the client sent. Tests check the
// exact bytes both ways and can make it misbehave (close, reset, never answer). It listens on a
// loopback address, on a given port or a free one, and stops by itself when its lifetime is over.
class ScriptedServer
{
public:
    struct Step
    {
        enum class Kind { Say, Expect, ExpectData, Pause, Close, Reset };
        Kind kind;
        QByteArray bytes;
        std::chrono::milliseconds pause{0};
    };

    // Sends the line followed by CR LF.
    static Step say(const QByteArray &line) { return {Step::Kind::Say, line + "\r\n"}; }
    // Sends exactly these bytes.
    static Step sayRaw(const QByteArray &bytes) { return {Step::Kind::Say, bytes}; }
    // Waits for one line from the client (its text without CR LF goes into the expected transcript).
    static Step expect(const QByteArray &line) { return {Step::Kind::Expect, line}; }
    // Waits for the lines of a DATA text up to and including the line ".", whatever they hold.
    static Step expectData() { return {Step::Kind::ExpectData, {}}; }
    // Waits a while, reading nothing (so the client has taken in all that was said before).
    static Step pause(std::chrono::milliseconds time) { return {Step::Kind::Pause, {}, time}; }
    // Closes the connection in order (FIN), or resets it (RST). A reset throws away whatever the
    // client has not read yet: pause before it when the client should see what came before.
    static Step close() { return {Step::Kind::Close, {}}; }
    static Step reset() { return {Step::Kind::Reset, {}}; }

    // After the last step the server keeps reading, without answering, until the client closes.
    explicit ScriptedServer(std::vector<Step> script, const QString &address = QStringLiteral("127.0.0.1"),
                            quint16 port = 0, std::chrono::milliseconds lifetime = std::chrono::seconds(20));
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer &) = delete;
    ScriptedServer &operator=(const ScriptedServer &) = delete;

    QString address() const { return m_address; }
    quint16 port() const { return m_port; }

    // Waits until the conversation is over (the client closed, the script closed, or the lifetime
    // ran out), then gives every byte the client sent.
    QByteArray received();
    // What the client has sent until now, without waiting (for a test that acts mid-conversation).
    QByteArray receivedSoFar();
    // What the client should have sent: the expected lines with CR LF, data blocks as they came.
    QByteArray expected();
    // The DATA texts received, each up to and including its ".\r\n" line.
    QList<QByteArray> dataBlocks();
    // Empty when every step was played; otherwise what went wrong.
    QString failure();

private:
    void run();
    void serve(int client);
    bool readLine(int client, QByteArray &line);
    bool waitReadable(int fd);
    void fail(const QString &why);

    std::vector<Step> m_script;
    QString m_address;
    quint16 m_port = 0;
    std::chrono::steady_clock::time_point m_deadline;
    int m_listener = -1;
    int m_stop = -1;
    std::thread m_thread;

    QByteArray m_pending; // read, not yet cut into lines (server thread only)
    std::mutex m_mutex;
    QByteArray m_received;
    QByteArray m_expected;
    QList<QByteArray> m_dataBlocks;
    QString m_failure;
};

} // namespace testsupport
