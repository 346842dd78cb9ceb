#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <optional>

class QWidget;

// The boxes every part of the window shows. They all go through here so that the caption rule
// lives in one place, and so that tests can answer them instead of blocking on a modal box.
namespace boxes {

// The title that captions every box and dialog of the program: "邮件发送工具".
QString applicationTitle();

// Message box: the text, a "确定" button, no icon.
void showMessage(QWidget *parent, const QString &text);
// Error box: the error's text under the full-stop rule, a stop icon, "确定".
void showError(QWidget *parent, const QString &message);
// Confirmation box with a question-mark icon, "确定" (default) and "取消"; true for 确定.
// Closing it any other way counts as 取消.
bool confirm(QWidget *parent, const QString &question);
// A yes-or-no question with a question-mark icon and the buttons "是" and "否" (`yesByDefault` says
// which is the default), captioned with the application title; true for 是. Closing it any other way
// counts as 否.
bool askYesNo(QWidget *parent, const QString &question, bool yesByDefault = true);
// The same question (是 the default) with a check box under the text, unticked at first;
// `ticked` tells whether it was ticked when the user answered 是.
bool askYesNoWithCheck(QWidget *parent, const QString &question, const QString &checkText, bool &ticked);
// Whether to trust a server's certificate: the details, the buttons "信任此证书" and "取消" (the
// default); a warning icon when `warning`, a question mark otherwise. Closing it counts as 取消.
bool askToTrust(QWidget *parent, const QString &text, bool warning);

// Whether to save changes: the question with a question-mark icon and the buttons "保存" (the
// default), "不保存" and "取消", captioned with the application title. Closing it any other way
// counts as 取消.
enum class SaveAnswer { Save, DontSave, Cancel };
SaveAnswer askToSave(QWidget *parent, const QString &question);

// The import's summary before it writes: the text, a check box "导入重复地址" (ticked) when
// `offerDuplicates`, and the buttons "导入" (the default) and "取消". Closing it counts as 取消.
enum class ImportChoice { Import, ImportWithoutDuplicates, Cancel };
ImportChoice askToImport(QWidget *parent, const QString &summary, bool offerDuplicates);
// The import's report: the text and "确定" (the default), with "保存跳过的行…" when `offerSave`;
// true when that was pressed.
bool showImportReport(QWidget *parent, const QString &text, bool offerSave);

// One line of text asked for: the question, the line starting with `initial`, "确定" and "取消";
// nothing when cancelled.
std::optional<QString> askText(QWidget *parent, const QString &question, const QString &initial);

// Test seam: while recording, no box is shown; each is appended to the log instead, and a
// question takes the next answer queued for its kind (OK, 取消 and 否 when none is queued; the
// yes-or-no and trust questions take the confirm answers; the import's summary takes the import
// choices, Import when none is queued; its report takes the confirm answers too, true for
// "保存跳过的行…", not pressed when none is queued).
struct ShownBox
{
    enum class Kind { Message, Error, Confirm, SaveQuestion, TextQuestion, YesNoQuestion, TrustQuestion, TrustWarning,
                      ImportPreview, ImportReport };
    Kind kind;
    QString caption;
    QString text;
    QString initial = {}; // the line a text question started with
    QString check = {}; // the check box under a question
};

class BoxRecorder
{
public:
    BoxRecorder();
    ~BoxRecorder();
    BoxRecorder(const BoxRecorder &) = delete;
    BoxRecorder &operator=(const BoxRecorder &) = delete;

    QList<ShownBox> takeShown();
    // For confirmations and yes-or-no questions alike (true: OK, 是).
    void queueConfirmAnswer(bool ok);
    // What happens while the next confirmation, yes-or-no or save question is open (a real box
    // serves the window's events meanwhile): run when it is asked, before it takes its answer.
    void whileNextQuestionOpen(std::function<void()> action);
    void queueSaveAnswer(SaveAnswer answer);
    void queueImportChoice(ImportChoice choice);
    // The text a text question is answered with; nothing: cancelled. Unqueued, it is answered
    // with the line it started with.
    void queueTextAnswer(std::optional<QString> answer);
    // Whether a question's check box is ticked when answered (unqueued: not ticked).
    void queueCheckAnswer(bool ticked);
};

} // namespace boxes
