#pragma once

#include "Greeting.h"

#include <QList>
#include <QSet>
#include <QString>

// Who a send run mails. With the skip choice off that is every customer, in the customer grid's
// order. With it on, a customer the chosen mail already reached (a send record reading "成功") is
// left out, and so is every later customer holding an address the run has already taken: the same
// text once trimmed, whatever its letter case. Those duplicates still get a record saying so; the
// customers left out get none. A customer whose result is unknown (a record still reading
// "发送中": the program ended between the message and the server's reply) may have the mail: with
// the skip choice on they are left out like the sent ones, unless the user chose to send to them
// again.
struct RunPlan
{
    struct Step
    {
        Recipient customer;
        bool duplicateAddress = false; // recorded as skipped, not mailed
    };

    bool skipping = false;
    QList<Step> steps;
    int toSend = 0;
    int alreadySent = 0;
    int unknownLeftOut = 0; // of the customers whose result is unknown
    int duplicates = 0;
};

// The customers whose result with the chosen mail is unknown, and whether the user chose to mail
// them again.
struct UnknownResults
{
    QSet<qint64> customers;
    bool sendAgain = false;
};

// The record of a customer whose address the run has already taken.
inline const QString DuplicateAddressResult = QStringLiteral("跳过：地址重复");

// The record of a customer whose address is on the do-not-mail list when the run reaches them.
inline const QString RefusedAddressResult = QStringLiteral("跳过：已退订");

// The form in which two addresses count as the same: trimmed, letter case folded.
QString addressKey(const QString &address);

// `sentBefore`: the customers with a "成功" record for the chosen mail. `unknown` counts only when
// skipping.
RunPlan planRun(const QList<Recipient> &customers, const QSet<qint64> &sentBefore, bool skipSent,
                const UnknownResults &unknown = {});

// The box at the end of a run that went through its whole plan; `refused`: the customers left out
// because their address was on the do-not-mail list. After failures it goes on with failedRunHint().
QString completionText(const RunPlan &plan, int sent, int failed, int refused = 0);

// The two ways on after a run with failures: the same run again with the skip choice, which mails
// exactly the customers the mail has not reached, or the results per customer, exported.
QString failedRunHint();

// What the confirmation before a run tells, so that the user answers once.
struct RunConfirmation
{
    QString subject;
    QString sender; // as the customers will read it: "销售部 <sales@example.test>"
    QString server;
    int pauseSeconds = 0; // the pause chosen now
    RunPlan plan; // the customers the run mails, and those it leaves out when skipping
    // The customers whose result with the mail is unknown, skipping: left out unless the user ticks
    // the box unknownResultsChoice() names.
    int unknown = 0;
    // The daily cap's word when the customers to mail are more than it allows today (capNotice).
    QString capNotice;
};

// The text of the confirmation: the mail, the account, how many customers and about how long at
// the pause, the customers left out, the cap; ends with the question.
QString runConfirmationText(const RunConfirmation &confirmation);
// The check box under the confirmation that mails the customers whose result is unknown too.
QString unknownResultsChoice(int unknown);
// About how long, in words: "约 40 秒", "约 3 分钟", "约 2 小时 5 分钟".
QString durationText(qint64 seconds);
