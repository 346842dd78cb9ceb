#include "SmtpConnection.h"

#include "MailErrors.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

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
#include <ctime>
#include <memory>

namespace {

constexpr qsizetype ReadPiece = 32768;
// How much already-arrived input the connected test takes in at most, so a peer that keeps sending
// cannot hold it in a loop.
constexpr int ConnectedTestPieces = 64;
// The most one reply may take: far above any real reply (an EHLO reply is some ten lines).
constexpr int maxReplyLines = 100;
constexpr qsizetype maxReplyBytes = 64 * 1024;

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
    const QString noSuchServer = QStringLiteral("找不到邮件服务器，请检查服务器名称");
    // A NUL would cut the name short and look up another one.
    if (host.contains(QChar(0)))
        throw SocketError(EAI_NONAME, hostNotFound, noSuchServer);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const int rc = getaddrinfo(host.toUtf8().constData(), nullptr, &hints, &found);
    if (rc == EAI_SYSTEM)
        raiseSocketError(errno);
    if (rc != 0 || !found)
        throw SocketError(rc != 0 ? rc : EAI_NONAME, hostNotFound, noSuchServer);
    address = reinterpret_cast<const sockaddr_in *>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return address;
}

// OpenSSL's words for the newest error of this thread, and the queue left empty for the next call.
QString takeOpenSslText()
{
    const unsigned long code = ERR_peek_last_error();
    ERR_clear_error();
    if (code == 0)
        return QString();
    char text[256] = {};
    ERR_error_string_n(code, text, sizeof text);
    return QString::fromUtf8(text);
}

// Which check of the server's certificate failed, in the user's words.
QString certificateCheckText(long verifyResult)
{
    switch (verifyResult) {
    case X509_V_ERR_CERT_HAS_EXPIRED: return QStringLiteral("服务器证书已过期");
    case X509_V_ERR_CERT_NOT_YET_VALID: return QStringLiteral("服务器证书尚未生效");
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH: return QStringLiteral("服务器证书与服务器名称不符");
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED: return QStringLiteral("服务器证书的签发者不受信任");
    default: return QStringLiteral("服务器证书验证失败");
    }
}

struct ContextFree
{
    void operator()(SSL_CTX *context) const { SSL_CTX_free(context); }
};

// The faults a company's own certificate has and a forged one has too: only the user can tell them
// apart, by the fingerprint. An expired certificate or one for another name is never among them.
bool isIssuerFault(int verifyError)
{
    switch (verifyError) {
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE: return true;
    default: return false;
    }
}

// Lets the chain's check go on past an issuer fault, noting it, so that a later fault of the name or
// the dates still ends the handshake, and the certificate can be judged by its fingerprint after.
int verifyNotingIssuerFaults(int ok, X509_STORE_CTX *store)
{
    if (ok)
        return 1;
    if (!isIssuerFault(X509_STORE_CTX_get_error(store)))
        return 0;
    auto *ssl = static_cast<SSL *>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto *issuerFault = ssl ? static_cast<bool *>(SSL_get_app_data(ssl)) : nullptr;
    // Outside the handshake startTls judges (a renegotiation) nobody would look at the note.
    if (!issuerFault)
        return 0;
    *issuerFault = true;
    return 1;
}

QString nameText(const X509_NAME *name)
{
    BIO *bio = BIO_new(BIO_s_mem());
    if (!bio)
        return QString();
    X509_NAME_print_ex(bio, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    QString text = QString::fromUtf8(data, qsizetype(size));
    BIO_free(bio);
    return text;
}

QString timeText(const ASN1_TIME *time)
{
    tm parts{};
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1)
        return QString();
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return QString::fromLatin1(text);
}

CertificateInfo certificateInfo(X509 *certificate, const QString &host, quint16 port)
{
    CertificateInfo info;
    info.host = host;
    info.port = port;
    if (!certificate)
        return info;
    info.subject = nameText(X509_get_subject_name(certificate));
    info.issuer = nameText(X509_get_issuer_name(certificate));
    info.notBefore = timeText(X509_get0_notBefore(certificate));
    info.notAfter = timeText(X509_get0_notAfter(certificate));
    unsigned char digest[EVP_MAX_MD_SIZE] = {};
    unsigned int length = 0;
    if (X509_digest(certificate, EVP_sha256(), digest, &length) == 1)
        info.fingerprint = QString::fromLatin1(
            QByteArray(reinterpret_cast<const char *>(digest), int(length)).toHex(':').toUpper());
    return info;
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
        // Every write is a whole command or a whole message text, after which the client waits for
        // the reply: Nagle's algorithm would join nothing, and would hold a text's last segment until
        // the server's (delayed) acknowledgement of the one before.
        const int on = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);

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
    // The close notice tells the server the end is meant; it goes out only when the socket takes it now.
    if (m_ssl && m_fd >= 0 && !m_tlsBroken && SSL_is_init_finished(m_ssl)) {
        SSL_shutdown(m_ssl);
        ERR_clear_error();
    }
    if (m_fd >= 0)
        ::shutdown(m_fd, SHUT_WR);
    releaseSocket();
    m_open = false;
}

void SmtpConnection::startTls(const QString &serverName, TimeoutMs timeout, quint16 port,
                              const QString &pinnedFingerprint)
{
    m_acceptedByFingerprint = false;
    bool issuerFault = false;
    ensureUsable();
    const auto deadline = deadlineAfter(timeout);
    // Whatever the server sent before the handshake was not protected: it is not taken as a reply.
    m_buffer.clear();
    m_tlsBroken = false;
    m_tlsWants = Wait::Read;
    try {
        ERR_clear_error();
        const std::unique_ptr<SSL_CTX, ContextFree> context(SSL_CTX_new(TLS_client_method()));
        if (!context)
            throw TlsError(QStringLiteral("无法建立加密连接"), takeOpenSslText());
        SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION);
        SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, verifyNotingIssuerFaults);
        // Many servers end the connection without a close notice (after QUIT, after a 421): that is
        // the end of the stream, as over plain TCP. Replies are whole lines, so nothing cut short is taken.
        SSL_CTX_set_options(context.get(), SSL_OP_IGNORE_UNEXPECTED_EOF);
        // The system's trust store; SSL_CERT_FILE and SSL_CERT_DIR name others.
        SSL_CTX_set_default_verify_paths(context.get());
        m_ssl = SSL_new(context.get());
        if (!m_ssl)
            throw TlsError(QStringLiteral("无法建立加密连接"), takeOpenSslText());
        SSL_set_mode(m_ssl, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
        SSL_set_fd(m_ssl, m_fd);
        SSL_set_app_data(m_ssl, &issuerFault);

        const QByteArray name = serverName.toUtf8();
        in_addr literal{};
        if (parseDottedIPv4(serverName, literal)) {
            // An address is checked against the certificate's addresses and is never sent as SNI.
            X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_ssl), name.constData());
        } else {
            SSL_set_tlsext_host_name(m_ssl, name.constData());
            SSL_set1_host(m_ssl, name.constData());
        }

        for (;;) {
            ERR_clear_error();
            const int rc = SSL_connect(m_ssl);
            if (rc == 1)
                break;
            const int error = errno;
            const int code = SSL_get_error(m_ssl, rc);
            if (code == SSL_ERROR_WANT_READ || code == SSL_ERROR_WANT_WRITE) {
                waitReady(code == SSL_ERROR_WANT_READ ? Wait::Read : Wait::Write, deadline);
                continue;
            }
            m_tlsBroken = true;
            const long verifyResult = SSL_get_verify_result(m_ssl);
            if (verifyResult != X509_V_OK) {
                ERR_clear_error();
                throw TlsError(certificateCheckText(verifyResult),
                               QString::fromUtf8(X509_verify_cert_error_string(verifyResult)));
            }
            QString what = QStringLiteral("与服务器的加密握手失败");
            const QString detail = takeOpenSslText();
            if (detail.isEmpty() && code == SSL_ERROR_SYSCALL) {
                what += QStringLiteral("：")
                    + (error != 0 ? socketErrorExplanation(error) + QStringLiteral("（系统错误号 %1）").arg(error)
                                  : QStringLiteral("服务器关闭了连接"));
            }
            throw TlsError(what, detail);
        }
        SSL_set_app_data(m_ssl, nullptr);
        if (issuerFault) {
            // The handshake went on only so the certificate could be judged whole: nothing is sent
            // over it unless the user trusted exactly this certificate for this server.
            const CertificateInfo shown = certificateInfo(SSL_get0_peer_certificate(m_ssl), serverName, port);
            if (shown.fingerprint.isEmpty() || shown.fingerprint != pinnedFingerprint) {
                close();
                if (pinnedFingerprint.isEmpty())
                    throw UntrustedCertificateError(shown);
                throw CertificateChangedError(shown, pinnedFingerprint);
            }
            m_acceptedByFingerprint = true;
        }
    } catch (...) {
        releaseSocket();
        m_open = false;
        throw;
    }
}

bool SmtpConnection::isConnected()
{
    if (!m_open)
        return false;
    for (int piece = 0; piece < ConnectedTestPieces && m_fd >= 0 && !m_closedByPeer; ++piece) {
        const qsizetype had = m_buffer.size();
        m_buffer.resize(had + ReadPiece);
        const ssize_t n = receive(m_buffer.data() + had, MSG_DONTWAIT);
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

void SmtpConnection::writeLine(QStringView line, TextEncoding encoding)
{
    writeBytes(encodeLine(line, encoding));
}

void SmtpConnection::writeBlock(const QStringList &lines, TextEncoding encoding)
{
    QByteArray block;
    for (const QString &line : lines)
        appendLine(block, line, encoding);
    writeBytes(block);
}

void SmtpConnection::writeBytes(const QByteArray &bytes)
{
    ensureUsable();
    auto deadline = deadlineAfter(writeTimeout);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = transmit(bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
        if (n >= 0) {
            done += n;
            // A peer that is slow but taking data is no peer that stopped: a long text may take
            // longer than the limit as a whole.
            deadline = deadlineAfter(writeTimeout);
            continue;
        }
        const int error = errno;
        if (error == EINTR)
            continue;
        if (error == EAGAIN || error == EWOULDBLOCK) {
            waitReady(m_ssl ? m_tlsWants : Wait::Write, deadline);
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
    qsizetype bytes = 0;
    for (;;) {
        qsizetype octets = 0;
        // Reply bytes above 127 only ever reach error messages; UTF-8 keeps a server's own text readable.
        const QString text = readLine(deadline, octets);
        bytes += octets + 2;
        if (bytes > maxReplyBytes || lines.size() >= maxReplyLines) {
            releaseSocket();
            throw ReplyTooLongError();
        }
        const QString line = trimControls(text);
        if (line.isEmpty())
            continue;
        if (!canBeReplyLine(line))
            raiseInvalidReplyCode(line);
        lines.append(line);
        if (isLastReplyLine(line))
            return parseReply(lines);
    }
}

QString SmtpConnection::readLine(Clock::time_point deadline, qsizetype &octets)
{
    for (;;) {
        const qsizetype lf = m_buffer.indexOf('\n');
        if (lf >= 0) {
            const qsizetype length = lf > 0 && m_buffer.at(lf - 1) == '\r' ? lf - 1 : lf;
            if (length > maxLineLength)
                throw LineTooLongError();
            QString line = QString::fromUtf8(m_buffer.constData(), length);
            octets = length;
            m_buffer.remove(0, lf + 1);
            return line;
        }
        // Past the limit (a last CR may still be the line's end) no LF can save the line: stop taking it in.
        if (m_buffer.size() - (m_buffer.endsWith('\r') ? 1 : 0) > maxLineLength)
            throw LineTooLongError();

        ensureUsable();
        // Decrypted bytes TLS already holds are not seen by a wait on the socket.
        if (!m_ssl || SSL_pending(m_ssl) == 0)
            waitReady(m_ssl ? m_tlsWants : Wait::Read, deadline);
        const qsizetype had = m_buffer.size();
        m_buffer.resize(had + ReadPiece);
        const ssize_t n = receive(m_buffer.data() + had, 0);
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

ssize_t SmtpConnection::receive(char *into, int flags)
{
    if (!m_ssl)
        return ::recv(m_fd, into, ReadPiece, flags);
    ERR_clear_error();
    const int n = SSL_read(m_ssl, into, int(ReadPiece));
    if (n > 0) {
        m_tlsWants = Wait::Read;
        return n;
    }
    return tlsFailure(n);
}

ssize_t SmtpConnection::transmit(const char *data, size_t size, int flags)
{
    if (!m_ssl)
        return ::send(m_fd, data, size, flags);
    ERR_clear_error();
    size_t written = 0;
    const int rc = SSL_write_ex(m_ssl, data, size, &written);
    if (rc == 1) {
        m_tlsWants = Wait::Read;
        return ssize_t(written);
    }
    const ssize_t n = tlsFailure(rc);
    // The server's close notice while writing: the connection is gone.
    if (n == 0)
        errno = ECONNRESET;
    return n == 0 ? -1 : n;
}

ssize_t SmtpConnection::tlsFailure(int rc)
{
    const int error = errno;
    switch (SSL_get_error(m_ssl, rc)) {
    case SSL_ERROR_WANT_READ:
        m_tlsWants = Wait::Read;
        errno = EAGAIN;
        return -1;
    case SSL_ERROR_WANT_WRITE:
        m_tlsWants = Wait::Write;
        errno = EAGAIN;
        return -1;
    case SSL_ERROR_ZERO_RETURN:
        // The server's close notice: the end of the stream.
        return 0;
    case SSL_ERROR_SYSCALL:
        m_tlsBroken = true;
        ERR_clear_error();
        // The socket ended without a close notice: taken as the end of the stream, as over plain TCP.
        if (error == 0)
            return 0;
        errno = error;
        return -1;
    default: {
        m_tlsBroken = true;
        const QString detail = takeOpenSslText();
        releaseSocket();
        m_closedByPeer = true;
        throw TlsError(QStringLiteral("加密连接出错"), detail);
    }
    }
}

void SmtpConnection::releaseSocket()
{
    if (m_ssl)
        SSL_free(m_ssl);
    m_ssl = nullptr;
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void SmtpConnection::failClosing(int error)
{
    close();
    throw SocketError(error);
}
