// "导入客户资料" on the real window: the file dialog, the import, the customer grid and count.

#include "WindowFixture.h"
#include "WorkbookFiles.h"

#include "Error.h"
#include "OpenDialog.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>

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

    EXPECT_EQ(dialog.takeOfferedFilters(), QStringList{QStringLiteral("Excel文件(*.xls;*.xlsx) (*.xls *.xlsx)")});
    EXPECT_EQ(count(QStringLiteral("客户表")), 3);
    EXPECT_EQ(window.customers->recordCount(), 3);
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
        workbook({{QStringLiteral("张三"), {}}, {QString(41, u'长'), {}}, {QStringLiteral("王五"), {}}}));
    control<QPushButton>("importButton")->click();
    EXPECT_EQ(count(QStringLiteral("客户表")), 1);
    EXPECT_EQ(control<QLabel>("customerCount")->text(), QStringLiteral("数量:1  "));
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::Message);
    EXPECT_EQ(shown[1].kind, boxes::ShownBox::Kind::Error);
    EXPECT_TRUE(shown[1].text.startsWith(QStringLiteral("第2行未能导入："))) << shown[1].text.toStdString();
}

} // namespace
