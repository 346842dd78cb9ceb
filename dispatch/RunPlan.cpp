#include "RunPlan.h"

QString addressKey(const QString &address)
{
    return address.trimmed().toCaseFolded();
}

RunPlan planRun(const QList<Recipient> &customers, const QSet<qint64> &sentBefore, bool skipSent,
                const UnknownResults &unknown)
{
    RunPlan plan;
    plan.skipping = skipSent;
    if (!skipSent) {
        for (const Recipient &customer : customers)
            plan.steps.append({customer});
        plan.toSend = int(customers.size());
        return plan;
    }

    const auto leftOutUnknown = [&](qint64 id) {
        return !unknown.sendAgain && !sentBefore.contains(id) && unknown.customers.contains(id);
    };
    // An address mailed by an earlier run (or perhaps mailed, its result unknown) counts as taken
    // too: its other holders would otherwise get the mail a second time.
    QSet<QString> taken;
    for (const Recipient &customer : customers) {
        if (sentBefore.contains(customer.id) || leftOutUnknown(customer.id))
            taken.insert(addressKey(customer.address));
    }
    for (const Recipient &customer : customers) {
        if (sentBefore.contains(customer.id)) {
            ++plan.alreadySent;
            continue;
        }
        if (leftOutUnknown(customer.id)) {
            ++plan.unknownLeftOut;
            continue;
        }
        const QString key = addressKey(customer.address);
        // Customers without an address are not the same customer; each gets its own failure.
        const bool duplicate = !key.isEmpty() && taken.contains(key);
        if (!key.isEmpty())
            taken.insert(key);
        plan.steps.append({customer, duplicate});
        if (duplicate)
            ++plan.duplicates;
        else
            ++plan.toSend;
    }
    return plan;
}

QString completionText(const RunPlan &plan, int sent, int failed, int refused)
{
    QString text = QStringLiteral("发送完成：成功 %1 封，失败 %2 封").arg(sent).arg(failed);
    if (plan.skipping) {
        text += QStringLiteral("，跳过 %1 位已发送的客户").arg(plan.alreadySent);
        if (plan.unknownLeftOut > 0)
            text += QStringLiteral("、%1 位发送结果未知的客户").arg(plan.unknownLeftOut);
        if (plan.duplicates > 0)
            text += QStringLiteral("和 %1 位地址重复的客户").arg(plan.duplicates);
    }
    if (refused > 0)
        text += QStringLiteral("，%1 位已退订的客户未发送").arg(refused);
    text += QStringLiteral("。");
    // Only after failures: the box of a run without any reads as it always has.
    if (failed > 0)
        text += failedRunHint();
    return text;
}

QString failedRunHint()
{
    return QStringLiteral("\n\n要给没收到的客户重发，勾选“跳过已成功发送的客户”后再点“发送”：已成功的客户不会再收到。"
                          "要查看或保存每位客户的结果，在“邮件发送情况”页按邮件ID选这封邮件，点“导出…”。");
}
