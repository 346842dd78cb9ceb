#include "OpenDialog.h"

#include <QFileDialog>
#include <QQueue>

#include <optional>

namespace {

struct Answers
{
    QQueue<std::optional<QString>> queued;
    QStringList offered;
};

// Dialogs belong to the window's thread, and so does this seam.
Answers *answers = nullptr;

} // namespace

QString OpenDialog::qtFilter(const QString &filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts.at(i + 1);
        patterns.replace(u';', u' ');
        filters.append(parts.at(i) + QStringLiteral(" (") + patterns + u')');
    }
    return filters.join(QStringLiteral(";;"));
}

bool OpenDialog::execute()
{
    const QString offered = qtFilter(filter);
    if (answers) {
        answers->offered.append(offered);
        const std::optional<QString> answer = answers->queued.isEmpty() ? std::nullopt : answers->queued.dequeue();
        if (!answer)
            return false;
        fileName = *answer;
        return true;
    }
    const QString chosen = QFileDialog::getOpenFileName(m_owner, QString(), QString(), offered);
    if (chosen.isEmpty())
        return false;
    fileName = chosen;
    return true;
}

OpenDialogAnswers::OpenDialogAnswers()
{
    answers = new Answers;
}

OpenDialogAnswers::~OpenDialogAnswers()
{
    delete answers;
    answers = nullptr;
}

void OpenDialogAnswers::queueFileName(const QString &path)
{
    answers->queued.enqueue(path);
}

void OpenDialogAnswers::queueCancel()
{
    answers->queued.enqueue(std::nullopt);
}

QStringList OpenDialogAnswers::takeOfferedFilters()
{
    return std::exchange(answers->offered, {});
}
