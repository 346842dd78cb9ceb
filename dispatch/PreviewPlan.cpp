#include "PreviewPlan.h"

#include <QHash>

QString leftOutReason(LeftOut why, qint64 sameAddressAs)
{
    switch (why) {
    case LeftOut::NoAddress: return QStringLiteral("没有电子邮件地址");
    case LeftOut::AlreadySent: return QStringLiteral("已成功发送过（跳过已成功发送的客户）");
    case LeftOut::DuplicateAddress: return QStringLiteral("地址重复：与客户ID %1 相同").arg(sameAddressAs);
    case LeftOut::Unsubscribed: return QStringLiteral("已退订（地址在退订名单中）");
    case LeftOut::UnknownResult: return QStringLiteral("发送结果未知（发送前的确认中可以选择再次发送）");
    case LeftOut::No: break;
    }
    return QString();
}

int PreviewPlan::stepOf(qint64 customerId) const
{
    for (int i = 0; i < steps.size(); ++i) {
        if (steps[i].customer.id == customerId)
            return i;
    }
    return 0;
}

PreviewPlan planPreview(const QList<Recipient> &customers, const QSet<qint64> &sentBefore, bool skipSent,
                        const QSet<qint64> &unsubscribed, const UnknownResults &unknown)
{
    const RunPlan run = planRun(customers, sentBefore, skipSent, unknown);
    // Whom the run leaves out for an unknown result, as planRun does.
    const auto unknownLeftOut = [&](qint64 id) {
        return skipSent && !unknown.sendAgain && !sentBefore.contains(id) && unknown.customers.contains(id);
    };
    // Who holds each address first, for the reason of a later holder: the run takes the addresses
    // already mailed (or perhaps mailed) first, then the others in order.
    QHash<QString, qint64> holders;
    if (skipSent) {
        for (const Recipient &customer : customers) {
            if ((sentBefore.contains(customer.id) || unknownLeftOut(customer.id))
                && !holders.contains(addressKey(customer.address)))
                holders.insert(addressKey(customer.address), customer.id);
        }
    }

    PreviewPlan plan;
    auto runStep = run.steps.cbegin();
    for (const Recipient &customer : customers) {
        PreviewPlan::Step step{customer};
        if (runStep == run.steps.cend() || runStep->customer.id != customer.id) {
            step.leftOut = unknownLeftOut(customer.id) ? LeftOut::UnknownResult : LeftOut::AlreadySent;
        } else {
            const QString key = addressKey(customer.address);
            if (runStep->duplicateAddress) {
                step.leftOut = LeftOut::DuplicateAddress;
                step.sameAddressAs = holders.value(key);
            } else if (key.isEmpty()) {
                step.leftOut = LeftOut::NoAddress;
            } else if (unsubscribed.contains(customer.id)) {
                // The run checks the list as it reaches the customer; the address stays taken.
                holders.insert(key, customer.id);
                step.leftOut = LeftOut::Unsubscribed;
            } else {
                holders.insert(key, customer.id);
                step.position = ++plan.toSend;
            }
            ++runStep;
        }
        plan.steps.append(step);
    }
    return plan;
}
