#pragma once

#include <QList>
#include <QString>

#include <optional>

class QWidget;

// The boxes every part of the window shows. They all go through here so that the caption rule
// lives in one place, and so that tests can answer them instead of blocking on a modal box.
namespace boxes {

// The application title that captions every box (fixed once, at start).
QString applicationTitle();
void setApplicationTitle(const QString &title);

// Message box: the text, an "OK" button, no icon.
void showMessage(QWidget *parent, const QString &text);
// Error box: the error's text under the full-stop rule, a stop icon, "OK".
void showError(QWidget *parent, const QString &message);
// Confirmation box titled "Confirm" with a question-mark icon, "OK" (default) and "Cancel";
// true for OK. Closing it any other way counts as Cancel.
bool confirm(QWidget *parent, const QString &question);
// A yes-or-no question with a question-mark icon and the buttons "是" and "否" (`yesByDefault` says
// which is the default), captioned with the application title; true for 是. Closing it any other way
// counts as 否.
bool askYesNo(QWidget *parent, const QString &question, bool yesByDefault = true);
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
    void queueSaveAnswer(SaveAnswer answer);
    void queueImportChoice(ImportChoice choice);
    // The text a text question is answered with; nothing: cancelled. Unqueued, it is answered
    // with the line it started with.
    void queueTextAnswer(std::optional<QString> answer);
};

} // namespace boxes
