// The file dialog beside an open db.mdb: listing the working folder, or choosing one of the
// database's own files, never opens them, so SQLite keeps its locks and no other program that opens
// the database can reset its shared index under the window.

#include "WindowFixture.h"
#include "WorkbookFiles.h"

#include "OpenDialog.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// SQLite's wal-index lock bytes begin at 120 of the -shm file; after its eight locks comes the
// "DMS" byte, which every connection holds shared while it uses the index. A process that finds it
// free takes itself for the first user and resets the index.
constexpr off_t dmsLockByte = 120 + 8;

// Whether this process holds its shared lock on the byte. POSIX locks are per process, so the
// question goes to a child: fcntl(F_GETLK) tells it who holds a lock a write lock would meet.
bool holdsSharedLock(const QString &file, off_t byte)
{
    const QByteArray path = QFile::encodeName(file);
    const pid_t holder = ::getpid();
    const pid_t child = ::fork();
    if (child == 0) {
        // Only calls that are safe after a fork in a threaded process.
        const int fd = ::open(path.constData(), O_RDWR | O_CLOEXEC);
        if (fd < 0)
            ::_exit(2);
        struct flock lock = {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = byte;
        lock.l_len = 1;
        if (::fcntl(fd, F_GETLK, &lock) != 0)
            ::_exit(3);
        ::_exit(lock.l_type == F_RDLCK && lock.l_pid == holder ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class DialogBesideTheDatabase : public WindowTest
{
protected:
    QString shm() const { return db.path() + QStringLiteral("-shm"); }

    // Shows the dialog the import (or the export) shows, on the working folder, until it has listed
    // the folder and given every entry its icon and type; then closes it.
    void listWorkingFolder(OpenDialog::Purpose purpose)
    {
        OpenDialog chooser(form.get(), purpose);
        chooser.filter = purpose == OpenDialog::Purpose::Open
            ? QStringLiteral("Excel文件(*.xls;*.xlsx)|*.xls;*.xlsx")
            : QStringLiteral("Excel 工作簿 (*.xlsx)|*.xlsx|CSV 文件 (*.csv)|*.csv");
        const std::unique_ptr<QFileDialog> dialog = chooser.makeDialog();
        auto *model = dialog->findChild<QFileSystemModel *>();
        ASSERT_NE(model, nullptr);
        QSignalSpy loaded(model, &QFileSystemModel::directoryLoaded);
        dialog->setDirectory(db.dir());
        dialog->show();
        ASSERT_TRUE(loaded.wait(10000) || !loaded.isEmpty());
        // The database's files are filtered out of the list (the workbook alone shows), but listed
        // and asked about all the same.
        const QModelIndex folder = model->index(db.dir());
        ASSERT_TRUE(QTest::qWaitFor([&] { return model->rowCount(folder) == 1; }, 10000));
        for (int row = 0; row < model->rowCount(folder); ++row) {
            model->data(model->index(row, 0, folder), Qt::DecorationRole);
            model->data(model->index(row, 2, folder), Qt::DisplayRole); // the type column
        }
        QTest::qWait(100);
        dialog->close();
    }

    void choose(const char *button, const QString &path)
    {
        answers.queueFileName(path);
        control<QPushButton>(button)->click();
    }

    void importWorkbook(const QString &path) { choose("importButton", path); }

    OpenDialogAnswers answers;
};

TEST_F(DialogBesideTheDatabase, ListingTheWorkingFolderKeepsTheDatabaseLocks)
{
    testbook::write(testbook::customers({{QStringLiteral("张三"), QStringLiteral("zs@example.com")}}),
                    testbook::Format::Xlsx, QDir(db.dir()).filePath(QStringLiteral("客户.xlsx")));
    open();
    ASSERT_TRUE(QFileInfo::exists(shm()));
    ASSERT_TRUE(holdsSharedLock(shm(), dmsLockByte));
    for (const OpenDialog::Purpose purpose : {OpenDialog::Purpose::Open, OpenDialog::Purpose::Save}) {
        listWorkingFolder(purpose);
        EXPECT_TRUE(holdsSharedLock(shm(), dmsLockByte));
    }
}

// A name typed without an extension takes the chosen type's.
TEST_F(DialogBesideTheDatabase, TheSaveDialogsExtensionFollowsTheChosenType)
{
    open();
    OpenDialog chooser(form.get(), OpenDialog::Purpose::Save);
    chooser.filter = QStringLiteral("Excel 工作簿 (*.xlsx)|*.xlsx|CSV 文件 (*.csv)|*.csv");
    const std::unique_ptr<QFileDialog> dialog = chooser.makeDialog();
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("xlsx"));
    auto *types = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
    ASSERT_NE(types, nullptr);
    types->setCurrentIndex(1);
    emit types->textActivated(types->itemText(1)); // as a choice in the list
    EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("csv"));
}

// Typed into the dialog's name box, a database file would be read as a workbook, or replaced by
// an export.
TEST_F(DialogBesideTheDatabase, TheDatabasesOwnFilesCannotBeChosen)
{
    open();
    const QStringList names{QStringLiteral("db.mdb"), QStringLiteral("db.mdb-wal"), QStringLiteral("db.mdb-shm")};
    for (const char *button : {"importButton", "exportButton"}) {
        for (const QString &name : names) {
            const QString path = QDir(db.dir()).filePath(name);
            choose(button, path);
            const QList<boxes::ShownBox> shown = boxes.takeShown();
            ASSERT_EQ(shown.size(), 1) << button << " " << name.toStdString();
            EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::Error);
            EXPECT_EQ(shown[0].text,
                      QStringLiteral("文件“%1”正由本程序使用（数据库文件），不能选择.").arg(QDir::toNativeSeparators(path)));
            EXPECT_TRUE(holdsSharedLock(shm(), dmsLockByte)) << name.toStdString();
        }
    }
    EXPECT_EQ(count(QStringLiteral("客户表")), 0);
}

// What crashed the program: the folder listed, then imports while another program opens the
// database again and again. Every run ends with every row in.
TEST_F(DialogBesideTheDatabase, ImportsWithAConcurrentReaderEndWithEveryRow)
{
    constexpr int rows = 3000;
    constexpr int runs = 5;
    QList<QPair<QString, QString>> customers;
    for (int i = 1; i <= rows; ++i)
        customers.append({QStringLiteral("客户%1").arg(i), QStringLiteral("c%1@example.com").arg(i)});
    const QString workbook = testbook::write(testbook::customers(customers), testbook::Format::Xlsx,
                                             QDir(db.dir()).filePath(QStringLiteral("客户.xlsx")));
    open();

    // A reader that opens the file anew for every count, as a backup tool or a browser does; it
    // stops by itself after a minute at most.
    QProcess reader;
    reader.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"), QStringLiteral("import sqlite3, sys, time\n"
                                                       "end = time.monotonic() + 60\n"
                                                       "while time.monotonic() < end:\n"
                                                       "    c = sqlite3.connect(sys.argv[1], timeout=10)\n"
                                                       "    c.execute('select count(*) from 客户表').fetchone()\n"
                                                       "    c.close()\n"
                                                       "    time.sleep(0.005)\n"),
                  db.path()});
    ASSERT_TRUE(reader.waitForStarted());

    for (int run = 1; run <= runs; ++run) {
        listWorkingFolder(OpenDialog::Purpose::Open);
        importWorkbook(workbook);
        boxes.takeShown();
        ASSERT_EQ(count(QStringLiteral("客户表")), rows * run) << "run " << run;
        ASSERT_TRUE(holdsSharedLock(shm(), dmsLockByte)) << "run " << run;
    }
    EXPECT_EQ(reader.state(), QProcess::Running) << reader.readAllStandardError().toStdString();
    reader.kill();
    reader.waitForFinished();
}

} // namespace
