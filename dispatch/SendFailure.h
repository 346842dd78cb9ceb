#pragma once

#include "MailErrors.h"
#include "SmtpReply.h"

#include <QString>

#include <exception>

// What the run knows about one failed send: the kind of failure, the server's reply code when it
// was a refusal, and where the conversation stood.
struct SendFailure
{
    enum class Kind {
        Refused, // the server answered with a code the step did not expect
        ConnectionLost, // closed, reset, aborted or otherwise unusable
        NoAnswer, // a wait for the server ran out
        UnreadableReply, // a reply that cannot be read, so every later one is out of step
        InvalidAddress, // an address holding a control character; nothing went out
        Other,
    };

    Kind kind = Kind::Other;
    int replyCode = 0;
    // The failure came from the login step of the session.
    bool atLogin = false;
    // The server has accepted a message of this run already.
    bool anyAccepted = false;
    // After the failure the connection can still carry the next message.
    bool connectionUsable = true;
    // The step of the mail transaction a refusal answered, and its enhanced status code.
    SmtpStep step = SmtpStep::Other;
    EnhancedStatusCode enhanced = {};
    // How many customers in a row, this one included, met this same refusal (RefusalStreak).
    int inARow = 1;
    // The refusal asks for STARTTLS first (530 5.7.0 Must issue a STARTTLS command first).
    bool encryptionDemanded = false;
};

// Refusals at the sender or after the message text that repeat customer after customer: the
// server refuses the account, not the message. Any other outcome breaks the streak; refusals of a
// recipient never make one (an unknown user, a full mailbox), however many come.
class RefusalStreak
{
public:
    // Notes one customer's outcome (no failure: the message went through) and gives how many
    // customers in a row met this refusal, this one included; 0 for anything that is no such refusal.
    int note(const SendFailure *failure);

private:
    int m_code = 0;
    EnhancedStatusCode m_enhanced;
    int m_count = 0;
};

// Why a failure ends the whole run instead of concerning one customer: the ones that would repeat
// for every following customer.
enum class RunStop {
    None,
    LoginRefused,
    LoginRequired,
    EncryptionRequired,
    ServerClosing,
    ConnectionLost,
    NoAnswer,
    UnreadableReply,
    QuotaReached, // x.4.5 at the sender or after the text: the account's sending quota
    AccountRefused, // x.7.x there: the account may not send (now)
    RepeatedRefusal, // the same refusal there for three customers in a row
};

// Whether the stop is the server refusing the account further messages (a provider's quota):
// the customers left can be mailed later.
bool isAccountStop(RunStop stop);

RunStop runStopFor(const SendFailure &failure);

// The kind and reply code of an error the session raised.
SendFailure::Kind failureKind(const std::exception &error);
int replyCode(const std::exception &error);
// The step a refusal answered and its enhanced code; Other and none for any other error.
SmtpStep refusalStep(const std::exception &error);
EnhancedStatusCode enhancedCode(const std::exception &error);
bool demandsEncryption(const std::exception &error);

// The error as one line for a send record and the stop box: a refusal as what its code class means
// and the step it answered, then the server's code, enhanced code and first line verbatim
// ("服务器拒绝（收件人地址）：550 5.1.1 <x@y>: Recipient address rejected"); any other error as its
// text with its line breaks made blanks ("连接被邮件服务器重置（系统错误号 104）").
QString failureDetail(const std::exception &error);

// What a refusal's code class means, with the step it answered: "服务器暂时拒绝（…）" for 4xx,
// "服务器拒绝（…）" for 5xx.
QString refusalExplanation(int code, SmtpStep step);

// The send record's result: "成功" or "失败：" and the detail, at most 255 characters.
QString sendResult(const QString &failureDetail = QString());
// The result of a message that went out whole and whose reply never came: "结果未知：" and the
// detail, at most 255 characters.
QString unknownResult(const QString &failureDetail);

// The stop's reason, in the words of the error box.
QString runStopReason(RunStop stop);
