// "导入客户资料" on the real window: the file dialog, the import, the customer grid and count.

#include "WindowFixture.h"
#include "WorkbookFiles.h"

#include "Error.h"
#include "OpenDialog.h"

#include <QDir>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

namespace {

class ImportButton : public WindowTest
{
protected:
    QString workbook(const QList<QPair<QString, QString>> &rows)
    {
        return testbook::write(testbook::customers(rows), testbook::Format::Xlsx,
                               QDir(db.dir()).filePath(QStringLiteral("客户.xlsx")));
    }

    OpenDialogAnswers dialog;
};

const QString done = QStringLiteral("         导入完成。        ");

TEST_F(ImportButton, AddsTheChosenFilesCustomersAndShowsThem)
{
    MainWindow &window = open();
    dialog.queueFileName(workbook({{QStringLiteral("张三"), QStringLiteral("zs@example.com")},
                                   {QStringLiteral("李四"), QStringLiteral("ls@example.com")},
                                   {QStringLiteral("王五"), {}}}));
    QTest::mouseClick(control<QPushButton>("importButton"), Qt::LeftButton);

    // The description alone: it names its patterns already.
    EXPECT_EQ(dialog.takeOfferedFilters(), QStringList{QStringLiteral("Excel文件(*.xls;*.xlsx)")});
    EXPECT_EQ(count(QStringLiteral("客户表")), 3);
    EXPECT_EQ(window.views().customers.recordCount(), 3);
    EXPECT_EQ(control<QLabel>("customerCount")->text(), QStringLiteral("数量:3  "));
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown.first().kind, boxes::ShownBox::Kind::Message);
    EXPECT_EQ(shown.first().text, done);
}

TEST_F(ImportButton, CancellingTheDialogDoesNothing)
{
    open();
    dialog.queueCancel();
    QTest::mouseClick(control<QPushButton>("importButton"), Qt::LeftButton);
    EXPECT_EQ(dialog.takeOfferedFilters().size(), 1);
    EXPECT_EQ(count(QStringLiteral("客户表")), 0);
    EXPECT_TRUE(boxes.takeShown().isEmpty());
}

// The failure goes to the error box, after the done message.
TEST_F(ImportButton, ARefusedRowIsReportedAfterTheRowsBeforeIt)
{
    open();
    boxes.takeShown();
    dialog.queueFileName(
        workbook({{QStringLiteral("张三"), {}}, {QString(101, u'长'), {}}, {QStringLiteral("王五"), {}}}));
    control<QPushButton>("importButton")->click();
    EXPECT_EQ(count(QStringLiteral("客户表")), 1);
    EXPECT_EQ(control<QLabel>("customerCount")->text(), QStringLiteral("数量:1  "));
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::Message);
    EXPECT_EQ(shown[1].kind, boxes::ShownBox::Kind::Error);
    EXPECT_TRUE(shown[1].text.startsWith(QStringLiteral("第2行未能导入："))) << shown[1].text.toStdString();
}

// A first row the database refuses: nothing went in, so only the error shows.
TEST_F(ImportButton, NothingImportedShowsOnlyTheError)
{
    open();
    boxes.takeShown();
    dialog.queueFileName(workbook({{QString(101, u'长'), {}}, {QStringLiteral("王五"), {}}}));
    control<QPushButton>("importButton")->click();
    EXPECT_EQ(count(QStringLiteral("客户表")), 0);
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::Error);
    EXPECT_TRUE(shown[0].text.startsWith(QStringLiteral("第1行未能导入："))) << shown[0].text.toStdString();
}

// The import goes on beside the window: events are served meanwhile, and the progress box's cancel
// stops it, keeping what was committed and showing no message.
TEST_F(ImportButton, TheWindowIsServedDuringAnImportAndCanCancelIt)
{
    QList<QPair<QString, QString>> rows;
    for (int i = 0; i < 20000; ++i)
        rows.append({QStringLiteral("客户%1").arg(i), QStringLiteral("c%1@example.com").arg(i)});
    const QString file = workbook(rows);
    open();
    boxes.takeShown();
    dialog.queueFileName(file);

    bool served = false;
    QTimer::singleShot(0, form.get(), [&served] { served = true; });
    QTimer canceller;
    QObject::connect(&canceller, &QTimer::timeout, form.get(), [this] {
        if (auto *progress = form->findChild<QProgressDialog *>())
            progress->findChild<QPushButton *>()->click();
    });
    canceller.start(1);
    control<QPushButton>("importButton")->click();
    canceller.stop();

    EXPECT_TRUE(served);
    const int kept = count(QStringLiteral("客户表"));
    EXPECT_LT(kept, rows.size());
    EXPECT_EQ(control<QLabel>("customerCount")->text(), QStringLiteral("数量:%1  ").arg(kept));
    EXPECT_TRUE(boxes.takeShown().isEmpty());
    EXPECT_EQ(form->findChild<QProgressDialog *>(), nullptr);
}

} // namespace
