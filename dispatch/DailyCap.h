#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <chrono>
#include <limits>

// What the daily cap allows at a moment: the messages accepted within the last day (the send
// records reading 成功, of any mail) count against it, each until it is a day old.
struct CapBudget
{
    // Messages that may go out now; unlimited without a cap.
    int allowed = std::numeric_limits<int>::max();
    // With nothing allowed: when the next message may go (the moment enough counted ones are a day old).
    QDateTime nextAt;
};

// `cap` 0 (or less) means no cap. `accepted` holds the moments of accepted messages, in any order;
// those a day old or older at `now` no longer count, later ones count in full.
CapBudget capBudget(int cap, QList<QDateTime> accepted, const QDateTime &now,
                    std::chrono::milliseconds day = std::chrono::hours(24));

// The confirmation before a run whose customers exceed what the cap allows today; empty when they do not.
QString capNotice(const CapBudget &budget, int customersToMail);
