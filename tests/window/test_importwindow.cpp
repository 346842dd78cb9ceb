// "导入客户资料" on the real window: the file dialog, the import, the customer grid and count.

#include "WindowFixture.h"
#include "WorkbookFiles.h"

#include "CustomerImport.h"
#include "Error.h"
#include "OpenDialog.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
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

// The kinds of the boxes shown, and the first line of each.
QList<QPair<boxes::ShownBox::Kind, QString>> shownBoxes(boxes::BoxRecorder &recorder)
{
    QList<QPair<boxes::ShownBox::Kind, QString>> shown;
    for (const boxes::ShownBox &box : recorder.takeShown())
        shown.append({box.kind, box.text.section(u'\n', 0, 0)});
    return shown;
}

using Kind = boxes::ShownBox::Kind;
using Shown = QList<QPair<boxes::ShownBox::Kind, QString>>;

TEST_F(ImportButton, AddsTheChosenFilesCustomersAndShowsThem)
{
    MainWindow &window = open();
    dialog.queueFileName(workbook({{QStringLiteral("张三"), QStringLiteral("zs@example.com")},
                                   {QStringLiteral("李四"), QStringLiteral("ls@example.com")},
                                   {QStringLiteral("王五"), {}}}));
    QTest::mouseClick(control<QPushButton>("importButton"), Qt::LeftButton);

    // The description alone: it names its patterns already.
    EXPECT_EQ(dialog.takeOfferedFilters(), QStringList{QStringLiteral("Excel文件(*.xls;*.xlsx)")});
    EXPECT_EQ(count(QStringLiteral("客户表")), 2);
    EXPECT_EQ(window.views().customers.recordCount(), 2);
    EXPECT_EQ(control<QLabel>("customerCount")->text(), QStringLiteral("数量:2  "));
    EXPECT_EQ(shownBoxes(boxes), (Shown{{Kind::ImportPreview, QStringLiteral("可导入 2 位客户。")},
                                        {Kind::ImportReport, QStringLiteral("导入 2 位客户；跳过 1 行")}}));
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

// Rows the database refuses or the rules leave out, among good ones: every good row goes in, one
// report names the skipped rows, and its save button writes them all to the .csv file chosen.
TEST_F(ImportButton, SkippedRowsAreReportedAndCanBeSaved)
{
    open();
    boxes.takeShown();
    const QString tooLong(101, u'长');
    dialog.queueFileName(workbook({{QStringLiteral("姓名"), QStringLiteral("邮箱")},
                                   {QStringLiteral("张三"), QStringLiteral("zs@example.com")},
                                   {tooLong, QStringLiteral("long@example.com")},
                                   {QStringLiteral("王五"), {}},
                                   {QStringLiteral("赵六"), QStringLiteral("zl@example.com")}}));
    const QString saved = QDir(db.dir()).filePath(QStringLiteral("跳过的行.csv"));
    boxes.queueConfirmAnswer(true); // 保存跳过的行…
    dialog.queueFileName(saved);
    control<QPushButton>("importButton")->click();

    EXPECT_EQ(count(QStringLiteral("客户表")), 2);
    EXPECT_EQ(control<QLabel>("customerCount")->text(), QStringLiteral("数量:2  "));
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 3);
    EXPECT_EQ(shown[0].kind, Kind::ImportPreview);
    EXPECT_EQ(shown[1].kind, Kind::ImportReport);
    const QStringList report = shown[1].text.split(u'\n');
    EXPECT_EQ(report.first(), QStringLiteral("导入 2 位客户；跳过 3 行"));
    EXPECT_TRUE(report.contains(QStringLiteral("第 1 行：标题行，未导入")));
    EXPECT_TRUE(report.contains(QStringLiteral("第 4 行：没有电子邮件地址")));
    EXPECT_TRUE(report.contains(QStringLiteral("数据库拒绝：1 行")));
    EXPECT_EQ(shown[2].kind, Kind::Message);
    EXPECT_EQ(shown[2].text, CustomerImport::savedMessage(3, saved));

    // The file dialog asked for a .csv file to save under.
    const QStringList filters = dialog.takeOfferedFilters();
    ASSERT_EQ(filters.size(), 2);
    EXPECT_EQ(filters.last(), QStringLiteral("CSV文件(*.csv)"));
    QFile file(saved);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[0], QStringLiteral("行号,客户名称,电子邮件地址,原因"));
    EXPECT_EQ(lines[1], QStringLiteral("1,姓名,邮箱,标题行，未导入"));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("3,%1,long@example.com,客户名称不能超过 100 个字符").arg(tooLong))) << lines[2].toStdString();
    EXPECT_EQ(lines[3], QStringLiteral("4,王五,,没有电子邮件地址"));
    EXPECT_EQ(lines[4], QString());
}

// Addresses the customers hold already go in while 导入重复地址 stays ticked, and stay out when the
// user unticks it.
TEST_F(ImportButton, DuplicatesFollowTheSummarysChoice)
{
    open();
    db.exec(QStringLiteral("insert into 客户表(客户名称, 电子邮件地址) values('张三', 'zs@example.com')"));
    boxes.takeShown();
    const QString file = workbook({{QStringLiteral("张三"), QStringLiteral("ZS@example.com")},
                                   {QStringLiteral("李四"), QStringLiteral("ls@example.com")}});
    const struct
    {
        boxes::ImportChoice choice;
        int added;
        QString headline;
    } cases[] = {
        {boxes::ImportChoice::ImportWithoutDuplicates, 1, QStringLiteral("导入 1 位客户；跳过 1 行")},
        {boxes::ImportChoice::Import, 2, QStringLiteral("导入 2 位客户；跳过 0 行")},
        {boxes::ImportChoice::Cancel, 0, {}},
    };
    for (const auto &c : cases) {
        db.exec(QStringLiteral("delete from 客户表 where 客户ID > 1"));
        dialog.queueFileName(file);
        boxes.queueImportChoice(c.choice);
        control<QPushButton>("importButton")->click();
        EXPECT_EQ(count(QStringLiteral("客户表")), 1 + c.added);
        const QList<boxes::ShownBox> shown = boxes.takeShown();
        ASSERT_EQ(shown.size(), c.headline.isEmpty() ? 1 : 2);
        EXPECT_TRUE(shown[0].text.contains(QStringLiteral("其中 1 位的地址已在客户中或在表中重复。")));
        if (!c.headline.isEmpty()) {
            EXPECT_EQ(shown[1].text.section(u'\n', 0, 0), c.headline);
        }
    }
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
    importCancellingWhileWriting();

    EXPECT_TRUE(served);
    const int kept = count(QStringLiteral("客户表"));
    EXPECT_LT(kept, rows.size());
    EXPECT_EQ(control<QLabel>("customerCount")->text(), QStringLiteral("数量:%1  ").arg(kept));
    EXPECT_EQ(shownBoxes(boxes), (Shown{{Kind::ImportPreview, QStringLiteral("可导入 20000 位客户。")}}));
    EXPECT_EQ(form->findChild<QProgressDialog *>(), nullptr);
}

// The do-not-mail list's import reports the same way: addresses on the list already are skipped.
TEST_F(ImportButton, TheListsImportReportsItsSkippedAddresses)
{
    open();
    db.exec(QStringLiteral("insert into 退订名单(电子邮件地址, 原因) values('old@example.com', '手工加入')"));
    boxes.takeShown();
    const QString path = QDir(db.dir()).filePath(QStringLiteral("退订.txt"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\xE9\x82\xAE\xE7\xAE\xB1\nOLD@example.com\nnew@example.com\n\nnot-an-address\n");
    file.close();
    dialog.queueFileName(path);
    control<QPushButton>("refusalImportButton")->click();
    EXPECT_EQ(count(QStringLiteral("退订名单")), 2);
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0].kind, Kind::ImportPreview);
    EXPECT_EQ(shown[0].text.section(u'\n', 0, 0), QStringLiteral("可加入退订名单 1 个地址。"));
    EXPECT_EQ(shown[1].kind, Kind::ImportReport);
    const QStringList report = shown[1].text.split(u'\n');
    EXPECT_EQ(report.first(), QStringLiteral("导入 1 个地址；跳过 3 行"));
    EXPECT_TRUE(report.contains(QStringLiteral("第 2 行：地址已在退订名单中")));
    EXPECT_TRUE(report.contains(QStringLiteral("第 5 行：电子邮件地址不含“@”")));
}

// The summary and the report as the user meets them, not recorded: the real boxes, answered by
// their own buttons and check box.
class RealBoxes : public ::testing::Test
{
protected:
    void SetUp() override { db.enter(); }

    testsupport::TempDatabase db;
    OpenDialogAnswers dialog;
};

TEST_F(RealBoxes, UntickingDuplicatesAndSavingTheSkippedRows)
{
    db.exec(QStringLiteral("insert into 客户表(客户名称, 电子邮件地址) values('张三', 'zs@example.com')"));
    MainWindow form;
    form.show();
    const QString path = testbook::write(
        testbook::customers({{QStringLiteral("张三"), QStringLiteral("zs@example.com")},
                             {QStringLiteral("李四"), QStringLiteral("ls@example.com")},
                             {QStringLiteral("王五"), QStringLiteral("wangwu")}}),
        testbook::Format::Xlsx, QDir(db.dir()).filePath(QStringLiteral("客户.xlsx")));
    const QString saved = QDir(db.dir()).filePath(QStringLiteral("skipped.csv"));
    dialog.queueFileName(path);
    dialog.queueFileName(saved);

    QStringList seen; // each box's text, with the buttons it offered
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, &form, [&seen] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        QStringList buttons;
        for (QAbstractButton *button : box->buttons())
            buttons.append(button->text());
        seen.append(box->text().section(u'\n', 0, 0) + u'|' + buttons.join(u','));
        const auto click = [box](const QString &text) {
            for (QAbstractButton *button : box->buttons()) {
                if (button->text() == text)
                    return button->click();
            }
            ADD_FAILURE() << "no button " << text.toStdString();
            box->reject();
        };
        if (auto *duplicates = box->findChild<QCheckBox *>(QStringLiteral("importDuplicates"))) {
            EXPECT_TRUE(duplicates->isChecked());
            EXPECT_EQ(duplicates->text(), QStringLiteral("导入重复地址"));
            duplicates->setChecked(false);
            click(QStringLiteral("导入"));
        } else if (buttons.contains(QStringLiteral("保存跳过的行…"))) {
            click(QStringLiteral("保存跳过的行…"));
        } else {
            box->buttons().first()->click();
        }
    });
    answerer.start(10);
    form.findChild<QPushButton *>(QStringLiteral("importButton"))->click();
    answerer.stop();

    ASSERT_EQ(seen.size(), 3);
    EXPECT_EQ(seen.mid(0, 2), (QStringList{QStringLiteral("可导入 2 位客户。|导入,取消"),
                                           QStringLiteral("导入 1 位客户；跳过 2 行|确定,保存跳过的行…")}));
    EXPECT_EQ(seen[2].section(u'|', 0, 0), CustomerImport::savedMessage(2, saved));
    EXPECT_EQ(db.scalar(QStringLiteral("select group_concat(客户名称, ',') from (select 客户名称 from 客户表 order by 客户ID)")).toString(),
              QStringLiteral("张三,李四"));
    QFile file(saved);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()).count(QStringLiteral("\r\n")), 3);
    form.close();
}

} // namespace
