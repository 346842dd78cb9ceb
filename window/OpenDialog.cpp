#include "OpenDialog.h"

#include <QComboBox>
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

// The filters in the form the Qt dialog takes: "Excel文件(*.xls;*.xlsx) (*.xls *.xlsx)", the
// description followed by the patterns it filters by.
QStringList qtFilters(const QString &filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts.at(i + 1);
        patterns.replace(u';', u' ');
        filters.append(parts.at(i) + QStringLiteral(" (") + patterns + u')');
    }
    return filters;
}

} // namespace

void OpenDialog::setUp(QFileDialog &dialog) const
{
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // The descriptions name their patterns already, in their own way: the list shows them alone.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(qtFilters(filter));
}

bool OpenDialog::execute()
{
    if (answers) {
        QFileDialog dialog(m_owner);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        setUp(dialog);
        if (const auto *types = dialog.findChild<QComboBox *>(QStringLiteral("fileTypeCombo"))) {
            for (int i = 0; i < types->count(); ++i)
                answers->offered.append(types->itemText(i));
        }
        const std::optional<QString> answer = answers->queued.isEmpty() ? std::nullopt : answers->queued.dequeue();
        if (!answer)
            return false;
        fileName = *answer;
        return true;
    }
    QFileDialog dialog(m_owner);
    setUp(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    fileName = dialog.selectedFiles().constFirst();
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
