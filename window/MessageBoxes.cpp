#include "MessageBoxes.h"

#include "AppTitle.h"
#include "WindowLog.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QInputDialog>
#include <QMessageBox>
#include <QMutex>
#include <QPushButton>
#include <QQueue>

namespace boxes {
namespace {

struct State
{
    bool recording = false;
    QList<ShownBox> shown;
    QQueue<bool> answers;
    QQueue<SaveAnswer> saveAnswers;
    QQueue<ImportChoice> importChoices;
    QQueue<std::optional<QString>> textAnswers;
    std::function<void()> whileOpen;
    QQueue<bool> checkAnswers;
};

// Boxes are shown on the window's thread only, but tests may read the log from a helper thread
// while the window's thread shows a box, so the log is guarded.
QMutex mutex;
State &state()
{
    static State s;
    return s;
}

bool record(ShownBox::Kind kind, const QString &text, bool *answer = nullptr, SaveAnswer *saveAnswer = nullptr,
            bool unqueuedAnswer = true)
{
    QMutexLocker lock(&mutex);
    State &s = state();
    if (!s.recording)
        return false;
    s.shown.append({kind, applicationTitle(), text});
    // What the window does while a real question waits for its answer; it may show boxes itself.
    if ((answer || saveAnswer) && s.whileOpen) {
        const std::function<void()> whileOpen = std::exchange(s.whileOpen, {});
        lock.unlock();
        whileOpen();
        lock.relock();
    }
    if (answer)
        *answer = s.answers.isEmpty() ? unqueuedAnswer : s.answers.dequeue();
    if (saveAnswer)
        *saveAnswer = s.saveAnswers.isEmpty() ? SaveAnswer::Cancel : s.saveAnswers.dequeue();
    return true;
}

// The buttons read Chinese whether or not Qt's own translation could be loaded.
void chineseButtonTexts(QMessageBox &box)
{
    if (QAbstractButton *ok = box.button(QMessageBox::Ok))
        ok->setText(QStringLiteral("确定"));
    if (QAbstractButton *cancel = box.button(QMessageBox::Cancel))
        cancel->setText(QStringLiteral("取消"));
}

} // namespace

QString applicationTitle()
{
    return QStringLiteral("邮件发送工具");
}

void showMessage(QWidget *parent, const QString &text)
{
    if (record(ShownBox::Kind::Message, text))
        return;
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok, parent);
    chineseButtonTexts(box);
    box.exec();
}

void showError(QWidget *parent, const QString &message)
{
    const QString text = errorBoxText(message);
    qCInfo(windowLog) << "error box:" << text;
    if (record(ShownBox::Kind::Error, text))
        return;
    QMessageBox box(QMessageBox::Critical, applicationTitle(), text, QMessageBox::Ok, parent);
    chineseButtonTexts(box);
    box.exec();
}

bool confirm(QWidget *parent, const QString &question)
{
    bool answer = false;
    if (record(ShownBox::Kind::Confirm, question, &answer))
        return answer;
    QMessageBox box(QMessageBox::Question, applicationTitle(), question, QMessageBox::Ok | QMessageBox::Cancel,
                    parent);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Cancel);
    chineseButtonTexts(box);
    return box.exec() == QMessageBox::Ok;
}

bool askYesNo(QWidget *parent, const QString &question, bool yesByDefault)
{
    bool answer = false;
    if (record(ShownBox::Kind::YesNoQuestion, question, &answer, nullptr, false))
        return answer;
    QMessageBox box(QMessageBox::Question, applicationTitle(), question, QMessageBox::NoButton, parent);
    QPushButton *yes = box.addButton(QStringLiteral("是"), QMessageBox::YesRole);
    QPushButton *no = box.addButton(QStringLiteral("否"), QMessageBox::NoRole);
    box.setDefaultButton(yesByDefault ? yes : no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

bool askYesNoWithCheck(QWidget *parent, const QString &question, const QString &checkText, bool &ticked)
{
    {
        QMutexLocker lock(&mutex);
        State &s = state();
        if (s.recording) {
            s.shown.append({ShownBox::Kind::YesNoQuestion, applicationTitle(), question, {}, checkText});
            ticked = !s.checkAnswers.isEmpty() && s.checkAnswers.dequeue();
            return !s.answers.isEmpty() && s.answers.dequeue();
        }
    }
    QMessageBox box(QMessageBox::Question, applicationTitle(), question, QMessageBox::NoButton, parent);
    QPushButton *yes = box.addButton(QStringLiteral("是"), QMessageBox::YesRole);
    QPushButton *no = box.addButton(QStringLiteral("否"), QMessageBox::NoRole);
    auto *check = new QCheckBox(checkText, &box);
    box.setCheckBox(check);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    ticked = check->isChecked();
    return box.clickedButton() == yes;
}

bool askToTrust(QWidget *parent, const QString &text, bool warning)
{
    bool answer = false;
    if (record(warning ? ShownBox::Kind::TrustWarning : ShownBox::Kind::TrustQuestion, text, &answer, nullptr, false))
        return answer;
    QMessageBox box(warning ? QMessageBox::Warning : QMessageBox::Question, applicationTitle(), text,
                    QMessageBox::NoButton, parent);
    QPushButton *trust = box.addButton(QStringLiteral("信任此证书"), QMessageBox::AcceptRole);
    QPushButton *cancel = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == trust;
}

SaveAnswer askToSave(QWidget *parent, const QString &question)
{
    SaveAnswer answer = SaveAnswer::Cancel;
    if (record(ShownBox::Kind::SaveQuestion, question, nullptr, &answer))
        return answer;
    QMessageBox box(QMessageBox::Question, applicationTitle(), question, QMessageBox::NoButton, parent);
    QPushButton *save = box.addButton(QStringLiteral("保存"), QMessageBox::AcceptRole);
    QPushButton *dontSave = box.addButton(QStringLiteral("不保存"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == save)
        return SaveAnswer::Save;
    if (box.clickedButton() == dontSave)
        return SaveAnswer::DontSave;
    return SaveAnswer::Cancel;
}

ImportChoice askToImport(QWidget *parent, const QString &summary, bool offerDuplicates)
{
    {
        QMutexLocker lock(&mutex);
        State &s = state();
        if (s.recording) {
            s.shown.append({ShownBox::Kind::ImportPreview, applicationTitle(), summary});
            return s.importChoices.isEmpty() ? ImportChoice::Import : s.importChoices.dequeue();
        }
    }
    QMessageBox box(QMessageBox::Question, applicationTitle(), summary, QMessageBox::NoButton, parent);
    QPushButton *import = box.addButton(QStringLiteral("导入"), QMessageBox::AcceptRole);
    QPushButton *cancel = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    box.setDefaultButton(import);
    box.setEscapeButton(cancel);
    if (offerDuplicates) {
        auto *duplicates = new QCheckBox(QStringLiteral("导入重复地址"), &box);
        duplicates->setObjectName(QStringLiteral("importDuplicates"));
        duplicates->setChecked(true);
        box.setCheckBox(duplicates);
    }
    box.exec();
    if (box.clickedButton() != import)
        return ImportChoice::Cancel;
    return !box.checkBox() || box.checkBox()->isChecked() ? ImportChoice::Import : ImportChoice::ImportWithoutDuplicates;
}

bool showImportReport(QWidget *parent, const QString &text, bool offerSave)
{
    bool save = false;
    if (record(ShownBox::Kind::ImportReport, text, &save, nullptr, false))
        return offerSave && save;
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::NoButton, parent);
    QPushButton *ok = box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    QPushButton *saveButton
        = offerSave ? box.addButton(QStringLiteral("保存跳过的行…"), QMessageBox::ActionRole) : nullptr;
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
    return saveButton && box.clickedButton() == saveButton;
}

std::optional<QString> askText(QWidget *parent, const QString &question, const QString &initial)
{
    {
        QMutexLocker lock(&mutex);
        State &s = state();
        if (s.recording) {
            s.shown.append({ShownBox::Kind::TextQuestion, applicationTitle(), question, initial});
            return s.textAnswers.isEmpty() ? std::optional<QString>(initial) : s.textAnswers.dequeue();
        }
    }
    QInputDialog box(parent);
    box.setWindowTitle(applicationTitle());
    box.setLabelText(question);
    box.setTextValue(initial);
    box.setOkButtonText(QStringLiteral("确定"));
    box.setCancelButtonText(QStringLiteral("取消"));
    if (box.exec() != QDialog::Accepted)
        return std::nullopt;
    return box.textValue();
}

BoxRecorder::BoxRecorder()
{
    QMutexLocker lock(&mutex);
    state().recording = true;
    state().shown.clear();
    state().answers.clear();
    state().saveAnswers.clear();
    state().importChoices.clear();
    state().textAnswers.clear();
    state().whileOpen = {};
    state().checkAnswers.clear();
}

BoxRecorder::~BoxRecorder()
{
    QMutexLocker lock(&mutex);
    state().recording = false;
    state().shown.clear();
    state().answers.clear();
    state().saveAnswers.clear();
    state().importChoices.clear();
    state().textAnswers.clear();
    state().whileOpen = {};
    state().checkAnswers.clear();
}

QList<ShownBox> BoxRecorder::takeShown()
{
    QMutexLocker lock(&mutex);
    return std::exchange(state().shown, {});
}

void BoxRecorder::queueConfirmAnswer(bool ok)
{
    QMutexLocker lock(&mutex);
    state().answers.enqueue(ok);
}

void BoxRecorder::whileNextQuestionOpen(std::function<void()> action)
{
    QMutexLocker lock(&mutex);
    state().whileOpen = std::move(action);
}

void BoxRecorder::queueSaveAnswer(SaveAnswer answer)
{
    QMutexLocker lock(&mutex);
    state().saveAnswers.enqueue(answer);
}

void BoxRecorder::queueImportChoice(ImportChoice choice)
{
    QMutexLocker lock(&mutex);
    state().importChoices.enqueue(choice);
}

void BoxRecorder::queueTextAnswer(std::optional<QString> answer)
{
    QMutexLocker lock(&mutex);
    state().textAnswers.enqueue(std::move(answer));
}

void BoxRecorder::queueCheckAnswer(bool ticked)
{
    QMutexLocker lock(&mutex);
    state().checkAnswers.enqueue(ticked);
}

} // namespace boxes
