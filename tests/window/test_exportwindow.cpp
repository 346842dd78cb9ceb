// 导出… on the send-record page of the real window: the save dialog, the records the page shows
// written to the chosen file and read back, the boxes, and a cancel.

#include "WindowFixture.h"

#include "OpenDialog.h"
#include "TestPaths.h"

#include <QComboBox>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace {

using Rows = QList<QStringList>;

// Three customers (one named like a formula), two mails, and records of both; customer 3 was
// never sent mail 1.
class ExportButton : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        db.exec(QStringLiteral(
            "insert into 客户表(客户名称, 电子邮件地址) values ('张三', 'zhang@example.com'),"
            " ('=1+2', 'li@example.com'), ('王五', 'wang@example.com');"
            "insert into 邮件表(邮件主题, 邮件内容) values ('价目表', '1'), ('新品', '2');"
            "insert into 发送情况(客户ID, 邮件ID, 发送日期, 发送结果) values"
            " (1, 1, '2026/1/5 9:00:01', '成功'), (2, 2, '2026/1/5 9:00:02', '成功'),"
            " (2, 1, '2026/1/5 9:00:03', '失败：550 no such user'), (3, 2, '2026/1/5 9:00:04', null)"));
    }

    QString target(const QString &name) const { return QDir(db.dir()).filePath(name); }

    // The page shows mail `mail`'s records, picked as the user picks them.
    void showMail(const QString &mail)
    {
        control<QRadioButton>("byMailButton")->click();
        auto *list = control<QComboBox>("mailFilter");
        list->showPopup();
        list->hidePopup();
        const int row = list->findData(mail);
        ASSERT_GE(row, 0);
        list->setCurrentIndex(row);
        emit list->activated(row);
    }

    void exportTo(const QString &path)
    {
        dialog.queueFileName(path);
        control<QPushButton>("exportButton")->click();
    }

    // Every file in the working folder but the database's own.
    QStringList otherFiles() const
    {
        QStringList files = QDir(db.dir()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
        files.removeIf([](const QString &name) { return name.startsWith(QStringLiteral("db.mdb")); });
        return files;
    }

    OpenDialogAnswers dialog;
};

// Each sheet's rows as Python's csv module, or its zipfile and XML modules, read them.
QList<Rows> readWithPython(const QString &path)
{
    QProcess python;
    python.start(testsupport::systemPython(),
                 {testsupport::sourcePath(QStringLiteral("tests/dispatch/read_export.py")), path});
    python.waitForFinished(30000);
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    QList<Rows> sheets;
    for (const QJsonValue &sheet : QJsonDocument::fromJson(python.readAllStandardOutput())["sheets"].toArray()) {
        Rows rows;
        for (const QJsonValue &row : sheet.toArray().at(1).toArray()) {
            QStringList cells;
            for (const QJsonValue &cell : row.toArray())
                cells << cell.toString();
            rows << cells;
        }
        sheets << rows;
    }
    return sheets;
}

TEST_F(ExportButton, WritesTheRecordsThePageShowsToTheChosenFile)
{
    open();
    showMail(QStringLiteral("1"));
    ASSERT_TRUE(boxes.takeShown().isEmpty());

    const QStringList header{"客户ID", "客户名称", "电子邮件地址", "邮件ID", "邮件主题", "发送日期", "发送结果"};
    struct Case
    {
        QString name;
        Rows rows; // a number cell of the .xlsx reads as "#<value>"
    };
    const Case cases[] = {
        {QStringLiteral("记录.csv"),
         {header,
          {"1", "张三", "zhang@example.com", "1", "价目表", "2026/1/5 9:00:01", "成功"},
          // Quoted, so that a spreadsheet program takes it as text, not as a formula.
          {"2", "'=1+2", "li@example.com", "1", "价目表", "2026/1/5 9:00:03", "失败：550 no such user"}}},
        {QStringLiteral("记录.xlsx"),
         {header,
          {"#1", "张三", "zhang@example.com", "#1", "价目表", "2026/1/5 9:00:01", "成功"},
          {"#2", "=1+2", "li@example.com", "#1", "价目表", "2026/1/5 9:00:03", "失败：550 no such user"}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        exportTo(target(c.name));
        EXPECT_EQ(dialog.takeOfferedFilters(),
                  (QStringList{QStringLiteral("Excel 工作簿 (*.xlsx)"), QStringLiteral("CSV 文件 (*.csv)")}));
        const QList<boxes::ShownBox> shown = boxes.takeShown();
        ASSERT_EQ(shown.size(), 1);
        EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::Message);
        EXPECT_EQ(shown[0].text, QStringLiteral("已导出 2 条记录到“%1”。").arg(target(c.name)));
        EXPECT_EQ(readWithPython(target(c.name)), QList<Rows>{c.rows});
    }

    // The customer filter's view: customer 2's records of both mails.
    control<QRadioButton>("byCustomerButton")->click();
    pick(control<QComboBox>("customerFilter"), QStringLiteral("2"));
    exportTo(target(QStringLiteral("客户2.csv")));
    ASSERT_EQ(boxes.takeShown().size(), 1);
    const QList<Rows> sheets = readWithPython(target(QStringLiteral("客户2.csv")));
    ASSERT_EQ(sheets.size(), 1);
    ASSERT_EQ(sheets[0].size(), 3);
    EXPECT_EQ(sheets[0][1].at(3), QStringLiteral("2"));
    EXPECT_EQ(sheets[0][2].at(3), QStringLiteral("1"));
}

TEST_F(ExportButton, CancellingTheDialogOrTheExportLeavesNoFileAndNoBox)
{
    db.exec(QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n where i < 200000)"
                           " insert into 发送情况(客户ID, 邮件ID, 发送日期, 发送结果)"
                           " select 1, 1, '2026/1/5 9:00:00', '成功' from n"));
    open();
    boxes.takeShown();

    dialog.queueCancel();
    control<QPushButton>("exportButton")->click();
    EXPECT_EQ(dialog.takeOfferedFilters().size(), 2);

    // The progress box is there from the start, hidden until the export takes a moment.
    for (const QString &name : {QStringLiteral("取消.csv"), QStringLiteral("取消.xlsx")}) {
        SCOPED_TRACE(name.toStdString());
        QTimer::singleShot(0, form.get(), [this] {
            if (auto *progress = form->findChild<QProgressDialog *>())
                progress->findChild<QPushButton *>()->click();
        });
        exportTo(target(name));
        EXPECT_EQ(form->findChild<QProgressDialog *>(), nullptr);
    }
    EXPECT_TRUE(boxes.takeShown().isEmpty());
    EXPECT_EQ(otherFiles(), QStringList());
}

// A view the engine refused (the combined filter without a customer) shows nothing to export.
TEST_F(ExportButton, NothingShownIsRefusedBeforeTheDialog)
{
    open();
    control<QRadioButton>("byBothButton")->click();
    auto *mails = control<QComboBox>("mailFilter");
    mails->showPopup();
    mails->hidePopup();
    mails->setCurrentIndex(0);
    emit mails->activated(0);
    ASSERT_EQ(boxes.takeShown().size(), 1); // the engine's refusal

    control<QPushButton>("exportButton")->click();
    EXPECT_TRUE(dialog.takeOfferedFilters().isEmpty());
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::Error);
    EXPECT_EQ(shown[0].text, QStringLiteral("没有显示发送记录，无法导出."));
    EXPECT_EQ(otherFiles(), QStringList());
}

} // namespace
