#pragma once

#include "RunPlan.h"
#include "SendRecords.h"

#include <QList>
#include <QSet>
#include <QString>

// Why a run would not mail a customer.
enum class LeftOut {
    No,
    NoAddress, // the run reaches them, and the server could not be given a recipient
    AlreadySent, // with the skip choice on
    DuplicateAddress, // with the skip choice on: an earlier customer holds the same address
    Unsubscribed, // the address is on the do-not-mail list
    UnknownResult, // with the skip choice on: an earlier run's result is unknown, not chosen again
};

// The reason as the preview shows it. `sameAddressAs`: the customer who holds the address first.
QString leftOutReason(LeftOut why, qint64 sameAddressAs = 0);

// Every customer in the run's order, each with what the run would do for them: the customers the
// preview steps through.
struct PreviewPlan
{
    struct Step
    {
        Recipient customer;
        LeftOut leftOut = LeftOut::No;
        qint64 sameAddressAs = 0; // for DuplicateAddress
        int position = 0; // 1 for the first customer mailed; 0 when left out
    };

    QList<Step> steps;
    int toSend = 0; // the customers that get a message

    // The step of this customer, or the first step when there is none.
    int stepOf(qint64 customerId) const;
};

// Made from the run's own plan (planRun) for the same customers, records, skip choice and customers
// whose result is unknown; `unsubscribed`: the customers whose address is on the do-not-mail list now.
PreviewPlan planPreview(const QList<Recipient> &customers, const QSet<qint64> &sentBefore, bool skipSent,
                        const QSet<qint64> &unsubscribed = {}, const UnknownResults &unknown = {});
