#include "OpenDialog.h"

#include "MessageBoxes.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QQueue>

#include <optional>

namespace {

// Icons and type names from what listing the folder tells already (folder or file, the name's
// suffix), never from a file's contents: the default provider asks the MIME database, which opens
// and reads every file whose name does not settle its type (db.mdb-shm and db.mdb-wal among them).
class ListingIconProvider final : public QFileIconProvider
{
public:
    using QFileIconProvider::icon;

    QIcon icon(const QFileInfo &info) const override
    {
        if (info.isRoot())
            return icon(QAbstractFileIconProvider::Drive);
        return icon(info.isDir() ? QAbstractFileIconProvider::Folder : QAbstractFileIconProvider::File);
    }

    QString type(const QFileInfo &info) const override
    {
        if (info.isDir())
            return QStringLiteral("文件夹");
        const QString suffix = info.suffix();
        return suffix.isEmpty() ? QStringLiteral("文件") : suffix.toUpper() + QStringLiteral(" 文件");
    }
};

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

// The extension of a Qt filter's first pattern ("CSV 文件 (*.csv) (*.csv)" gives "csv"), none where
// it is not "*.ext".
QString defaultSuffix(const QString &qtFilter)
{
    const qsizetype open = qtFilter.lastIndexOf(u'(');
    const QString patterns = qtFilter.mid(open + 1).chopped(qtFilter.endsWith(u')') ? 1 : 0);
    const QString first = patterns.section(u' ', 0, 0);
    const QString suffix = first.mid(2);
    if (!first.startsWith(QStringLiteral("*.")) || suffix.contains(u'*') || suffix.contains(u'?'))
        return {};
    return suffix;
}

// Whether this process holds the file open already (db.mdb, its -wal and -shm while the database
// is open): reading it would mean a descriptor of its own, and closing that one drops SQLite's locks.
bool heldOpen(const QString &path)
{
    const QString file = QFileInfo(path).canonicalFilePath();
    if (file.isEmpty())
        return false;
    const QDir descriptors(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo &descriptor : descriptors.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        if (descriptor.symLinkTarget() == file)
            return true;
    }
    return false;
}

} // namespace

std::unique_ptr<QFileDialog> OpenDialog::makeDialog() const
{
    auto dialog = std::make_unique<QFileDialog>(m_owner);
    // A platform's own dialog (GTK's among them) looks into the files for their types, and takes
    // no icon provider: the program's own dialog is used everywhere.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setOption(QFileDialog::DontUseCustomDirectoryIcons);
    // Set before the dialog lists anything: the listing comes with the event loop. The dialog does
    // not own it, and its model may ask it until its last moment: one for all, never destroyed.
    static auto *const icons = new ListingIconProvider;
    dialog->setIconProvider(icons);
    if (m_purpose == Purpose::Save) {
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
    } else {
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        dialog->setFileMode(QFileDialog::ExistingFile);
    }
    // The texts the user reads first, in Chinese even where Qt's translation is not installed.
    dialog->setWindowTitle(boxes::applicationTitle());
    dialog->setLabelText(QFileDialog::LookIn, QStringLiteral("查找范围："));
    dialog->setLabelText(QFileDialog::FileName, QStringLiteral("文件名："));
    dialog->setLabelText(QFileDialog::FileType, QStringLiteral("文件类型："));
    dialog->setLabelText(QFileDialog::Accept, m_purpose == Purpose::Save ? QStringLiteral("保存") : QStringLiteral("打开"));
    dialog->setLabelText(QFileDialog::Reject, QStringLiteral("取消"));
    // The descriptions name their patterns already, in their own way: the list shows them alone.
    dialog->setOption(QFileDialog::HideNameFilterDetails);
    dialog->setNameFilters(qtFilters(filter));
    if (m_purpose == Purpose::Save) {
        // A name typed without an extension takes the chosen type's, before the dialog asks about
        // replacing a file of that name.
        QFileDialog *saving = dialog.get();
        // The filter the signal names is the list's text, which lacks its patterns.
        const auto followFilter = [saving] { saving->setDefaultSuffix(defaultSuffix(saving->selectedNameFilter())); };
        QObject::connect(saving, &QFileDialog::filterSelected, saving, followFilter);
        followFilter();
    }
    return dialog;
}

bool OpenDialog::execute()
{
    const std::unique_ptr<QFileDialog> dialog = makeDialog();
    if (answers) {
        if (const auto *types = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"))) {
            for (int i = 0; i < types->count(); ++i)
                answers->offered.append(types->itemText(i));
        }
        const std::optional<QString> answer = answers->queued.isEmpty() ? std::nullopt : answers->queued.dequeue();
        if (!answer)
            return false;
        return take(*answer);
    }
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return false;
    return take(dialog->selectedFiles().constFirst());
}

bool OpenDialog::take(const QString &chosen)
{
    if (heldOpen(chosen)) {
        boxes::showError(m_owner, QStringLiteral("文件“%1”正由本程序使用（数据库文件），不能选择")
                                      .arg(QDir::toNativeSeparators(chosen)));
        return false;
    }
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
