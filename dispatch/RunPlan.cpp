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

QString durationText(qint64 seconds)
{
    if (seconds < 60)
        return QStringLiteral("约 %1 秒").arg(seconds);
    // Minutes rounded up: an estimate that runs over reads worse than one that ends early.
    const qint64 minutes = (seconds + 59) / 60;
    if (minutes < 60)
        return QStringLiteral("约 %1 分钟").arg(minutes);
    if (minutes % 60 == 0)
        return QStringLiteral("约 %1 小时").arg(minutes / 60);
    return QStringLiteral("约 %1 小时 %2 分钟").arg(minutes / 60).arg(minutes % 60);
}

QString unknownResultsChoice(int unknown)
{
    return QStringLiteral("也发送给这 %1 位发送结果未知的客户").arg(unknown);
}

QString runConfirmationText(const RunConfirmation &confirmation)
{
    const RunPlan &plan = confirmation.plan;
    QString text = QStringLiteral("发送邮件“%1”给 %2 位客户。\n发件人：%3\n邮件服务器：%4")
                       .arg(confirmation.subject)
                       .arg(plan.toSend)
                       .arg(confirmation.sender, confirmation.server);
    // The pause follows every accepted message, the last one's too; the exchanges themselves are
    // short beside it.
    if (plan.toSend > 0)
        text += QStringLiteral("\n每封间隔 %1 秒，预计需要%2。")
                    .arg(confirmation.pauseSeconds)
                    .arg(durationText(qint64(plan.toSend) * confirmation.pauseSeconds));
    if (plan.skipping && (plan.alreadySent > 0 || plan.duplicates > 0)) {
        text += QStringLiteral("\n跳过 %1 位已成功发送的客户").arg(plan.alreadySent);
        if (plan.duplicates > 0)
            text += QStringLiteral("和 %1 位地址重复的客户").arg(plan.duplicates);
        text += QStringLiteral("。");
    }
    if (!confirmation.capNotice.isEmpty())
        text += QStringLiteral("\n") + confirmation.capNotice + QStringLiteral("。");
    if (confirmation.unknown > 0)
        text += QStringLiteral("\n有 %1 位客户的发送结果未知（上次发送时程序意外中断，或没有收到服务器的回复），"
                               "他们可能已经收到这封邮件；勾选下面的选项才会再次发送给他们。")
                    .arg(confirmation.unknown);
    return text + QStringLiteral("\n\n现在开始发送吗？");
}
