#include "DailyCap.h"

#include <algorithm>

CapBudget capBudget(int cap, QList<QDateTime> accepted, const QDateTime &now, std::chrono::milliseconds day)
{
    if (cap <= 0)
        return {};
    const QDateTime dayAgo = now.addMSecs(-day.count());
    accepted.removeIf([&](const QDateTime &moment) { return moment <= dayAgo; });
    const auto counted = int(accepted.size());
    if (counted < cap)
        return {cap - counted, {}};
    // One more may go once all but cap - 1 of the counted are a day old: the oldest, when the cap
    // is just used up; a later one when the cap was lowered below what went out.
    std::sort(accepted.begin(), accepted.end());
    return {0, accepted.at(counted - cap).addMSecs(day.count())};
}

QString capNotice(const CapBudget &budget, int customersToMail)
{
    if (customersToMail <= budget.allowed)
        return {};
    return QStringLiteral("今天还可以发送 %1 封，其余的将在上限允许时继续发送").arg(budget.allowed);
}
