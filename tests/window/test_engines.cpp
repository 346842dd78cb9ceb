// The window's work on data, the same on either engine: the real window offscreen on a fresh db.mdb
// and on a database of a throwaway PostgreSQL cluster, driven as a user drives it and read back
// from the database. Statements here quote names with Latin letters ("客户ID"), as the server folds
// unquoted ones to lower case.
#include "WindowFixture.h"
#include "WorkbookFiles.h"

#include "AiosmtpdServer.h"
#include "RunScripts.h"

#include "Controls.h"
#include "OpenDialog.h"
#include "RecordGrid.h"
#include "RecordNavigator.h"
#include "RecordView.h"
#include "SendRecordBrowser.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <chrono>

namespace {

using namespace std::chrono_literals;
using namespace testsupport;
using Kind = boxes::ShownBox::Kind;

class EngineWindow : public EngineWindowTest
{
protected:
    void addCustomers(const QList<QPair<QString, QString>> &customers) const
    {
        for (const auto &[name, address] : customers)
            db.exec(QStringLiteral("insert into 客户表(客户名称, 电子邮件地址) values(?, ?)"), {name, address});
    }

    // 张三, 李四, 王五; the mails 旧邮件 and 新品介绍 (two lines).
    void seed() const
    {
        addCustomers({{QStringLiteral("张三"), QStringLiteral("zhang@example.test")},
                      {QStringLiteral("李四"), QStringLiteral("li@example.test")},
                      {QStringLiteral("王五"), QStringLiteral("wang@example.test")}});
        db.exec(QStringLiteral("insert into 邮件表(邮件主题, 邮件内容) values('旧邮件', '旧'), (?, ?)"),
                {QStringLiteral("新品介绍"), QStringLiteral("第一行\n第二行")});
    }

    // One row per record of a query, its columns joined by "|", nulls as empty texts.
    QStringList joined(const QString &sql) const
    {
        QStringList lines;
        for (const QVariantList &row : db.rows(sql)) {
            QStringList values;
            for (const QVariant &value : row)
                values.append(value.toString());
            lines.append(values.join(u'|'));
        }
        return lines;
    }

    void press(const char *navigator, RecordNavigator::Button button)
    {
        QTest::mouseClick(control<RecordNavigator>(navigator)->button(button), Qt::LeftButton);
    }

    void clickCell(RecordGrid *grid, int row, int column)
    {
        const QModelIndex index = grid->model()->index(row, column);
        ASSERT_TRUE(index.isValid()) << "no cell " << row << "," << column;
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(index).center());
    }

    // The headers of the columns a grid shows, left to right.
    static QStringList shownColumns(const RecordGrid *grid)
    {
        QStringList names;
        for (int column = 0; column < grid->model()->columnCount(); ++column) {
            if (!grid->isColumnHidden(column))
                names.append(grid->model()->headerData(column, Qt::Horizontal).toString());
        }
        return names;
    }

    // One column of every row a grid shows, top to bottom.
    static QStringList shownValues(const RecordGrid *grid, int column)
    {
        QStringList values;
        for (int row = 0; row < grid->model()->rowCount(); ++row)
            values.append(grid->model()->index(row, column).data().toString());
        return values;
    }
};

// Customers and mails edited, added and deleted through the grids, the boxes and the navigators
// reach the database, and a window opened afresh shows them as they were left, in the order of
// their numbers: an edited row keeps its place (a server stores a row's new version elsewhere, so
// its own order is not the keys').
TEST_P(EngineWindow, EditsAdditionsAndDeletionsReachTheDatabase)
{
    seed();
    open();
    auto *customers = control<RecordGrid>("customerGrid");
    customers->setFocus();
    const int name = form->views().customers.fieldIndex(QStringLiteral("客户名称"));
    ASSERT_GE(name, 0);

    // A new customer from the navigator, its name then its address.
    press("customerNavigator", RecordNavigator::Insert);
    type(QStringLiteral("赵六"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    type(QStringLiteral("zhao@example.test"));
    press("customerNavigator", RecordNavigator::Post);
    // An earlier customer's name typed over, after the new one was saved.
    clickCell(customers, 1, name);
    type(QStringLiteral("李四海"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    press("customerNavigator", RecordNavigator::Post);
    // Another by Down on the last row, given up.
    clickCell(customers, customers->model()->rowCount() - 1, name);
    QTest::keyClick(customers, Qt::Key_Down);
    type(QStringLiteral("孙七"));
    press("customerNavigator", RecordNavigator::Cancel);
    // 王五 deleted after the question.
    clickCell(customers, 2, name);
    boxes.queueConfirmAnswer(true);
    press("customerNavigator", RecordNavigator::Delete);
    const QList<boxes::ShownBox> asked = boxes.takeShown();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0].text, QStringLiteral("删除客户“王五”（3）？"));

    const QStringList customersLeft = {QStringLiteral("1|张三|zhang@example.test"),
                                       QStringLiteral("2|李四海|li@example.test"),
                                       QStringLiteral("4|赵六|zhao@example.test")};
    EXPECT_EQ(joined(QStringLiteral("select \"客户ID\", 客户名称, coalesce(电子邮件地址, '') from 客户表"
                                    " order by \"客户ID\"")),
              customersLeft);
    EXPECT_EQ(control<QLabel>("customerCount")->text(), QStringLiteral("数量:3  "));

    // The mail page: a new mail written in its boxes, the first one's subject changed, the second
    // deleted.
    control<PageTabs>("pages")->setCurrentWidget(control<QWidget>("mailPage"));
    auto *mails = control<RecordGrid>("mailGrid");
    auto *subject = control<QLineEdit>("subjectEdit");
    press("mailNavigator", RecordNavigator::Insert);
    QTest::mouseClick(subject, Qt::LeftButton);
    type(QStringLiteral("秋季"));
    press("mailNavigator", RecordNavigator::Post);
    clickCell(mails, 0, form->views().mails.fieldIndex(QStringLiteral("邮件主题")));
    QTest::mouseClick(subject, Qt::LeftButton);
    QTest::keyClick(subject, Qt::Key_A, Qt::ControlModifier);
    type(QStringLiteral("旧邮件二"));
    press("mailNavigator", RecordNavigator::Post);
    clickCell(mails, 1, form->views().mails.fieldIndex(QStringLiteral("邮件主题")));
    boxes.queueConfirmAnswer(true);
    press("mailNavigator", RecordNavigator::Delete);
    EXPECT_EQ(boxes.takeShown().value(0).text, QStringLiteral("删除邮件“新品介绍”（2）？"));
    EXPECT_EQ(joined(QStringLiteral("select \"邮件ID\", 邮件主题 from 邮件表 order by \"邮件ID\"")),
              QStringList({QStringLiteral("1|旧邮件二"), QStringLiteral("3|秋季")}));
    EXPECT_TRUE(boxes.takeShown().isEmpty());

    // Read back by a new window.
    form.reset();
    open();
    QStringList shown;
    const RecordView &view = form->views().customers;
    for (int row = 0; row < view.recordCount(); ++row) {
        shown.append(view.value(row, view.fieldIndex(QStringLiteral("客户ID"))).toString() + u'|'
                     + view.value(row, name).toString() + u'|'
                     + view.value(row, view.fieldIndex(QStringLiteral("电子邮件地址"))).toString());
    }
    EXPECT_EQ(shown, customersLeft);
    EXPECT_EQ(shownValues(control<RecordGrid>("mailGrid"), form->views().mails.fieldIndex(QStringLiteral("邮件主题"))),
              QStringList({QStringLiteral("旧邮件二"), QStringLiteral("秋季")}));
    EXPECT_TRUE(boxes.takeShown().isEmpty());
}

// The send-record page over many pages, with gaps in the records' keys: every record counted and
// shown with its own values wherever the grid goes, the server's key column never among them, and
// a run's record added after the last.
TEST_P(EngineWindow, TheSendRecordPageGoesAcrossManyPages)
{
    db.exec(QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n where i < 3000)"
                           " insert into 发送情况(\"客户ID\", \"邮件ID\", 发送日期) select i, 1, '2026/12/1 9:00:00' from n"));
    db.exec(QStringLiteral("delete from 发送情况 where \"客户ID\" % 100 = 7"));
    open();
    auto *grid = control<RecordGrid>("sendRecordGrid");
    const RecordView &records = form->views().sendRecords;
    EXPECT_EQ(shownColumns(grid), QStringList({QStringLiteral("客户ID"), QStringLiteral("邮件ID"),
                                               QStringLiteral("发送日期"), QStringLiteral("发送结果")}));
    const int total = 3000 - 30;
    EXPECT_EQ(control<QLabel>("recordCount")->text(), QString::number(total));
    EXPECT_EQ(grid->model()->rowCount(), total);
    EXPECT_EQ(grid->currentIndex().row(), total - 1);

    const int column = records.fieldIndex(QStringLiteral("客户ID"));
    ASSERT_GE(column, 0);
    const auto customerAt = [&](int row) { return grid->model()->index(row, column).data().toInt(); };
    QList<int> kept;
    for (int customer = 1; customer <= 3000; ++customer) {
        if (customer % 100 != 7)
            kept.append(customer);
    }
    for (const int row : {2200, 0, 1500, 700, 256, 255, total - 1}) {
        grid->scrollTo(grid->model()->index(row, column));
        QApplication::processEvents();
        EXPECT_EQ(customerAt(row), kept.at(row)) << row;
    }
    // Down through a page's end, as the keyboard moves.
    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(254, column));
    for (int row = 255; row < 259; ++row) {
        QTest::keyClick(grid, Qt::Key_Down);
        EXPECT_EQ(grid->currentIndex().row(), row);
        EXPECT_EQ(records.fieldByName(QStringLiteral("客户ID")).toInt(), kept.at(row)) << row;
    }

    form->views().browser.showSendRecord(5000, 4, 3, QStringLiteral("2026/12/3 9:00:00"), QStringLiteral("成功"));
    EXPECT_EQ(grid->model()->rowCount(), total + 1);
    EXPECT_EQ(customerAt(total), 4);
    EXPECT_EQ(control<QLabel>("recordCount")->text(), QString::number(total + 1));
    EXPECT_TRUE(boxes.takeShown().isEmpty());
}

// The send-record page's filters: by customer, by mail, by both, then all again; each shows the
// records of the numbers picked, and counts them.
TEST_P(EngineWindow, TheFiltersShowTheRecordsOfTheNumbersPicked)
{
    addCustomers({{QStringLiteral("甲"), QStringLiteral("a@example.com")},
                  {QStringLiteral("乙"), QStringLiteral("b@example.com")},
                  {QStringLiteral("丙"), QStringLiteral("c@example.com")},
                  {QStringLiteral("丁"), QStringLiteral("d@example.com")}});
    db.exec(QStringLiteral("insert into 邮件表(邮件主题, 邮件内容) values ('一','1'), ('二','2'), ('三','3')"));
    db.exec(QStringLiteral("insert into 发送情况(\"客户ID\", \"邮件ID\", 发送日期, 发送结果) values"
                           " (1,1,'2026/12/1 9:00:00','成功'), (2,1,'2026/12/1 9:00:06','失败：550 no such user'),"
                           " (3,1,'2026/12/1 9:00:12','成功'), (1,2,'2026/12/2 9:00:00','成功'),"
                           " (2,2,'2026/12/2 9:00:06','成功')"));
    open();
    auto *grid = control<RecordGrid>("sendRecordGrid");
    auto *customers = control<QComboBox>("customerFilter");
    auto *mails = control<QComboBox>("mailFilter");
    const RecordView &records = form->views().sendRecords;

    struct Step
    {
        const char *button;
        QComboBox *list; // null: no pick
        const char *number;
        QStringList records; // 客户ID/邮件ID in the order written
        QString summary;
        bool checked = true;
    };
    const Step steps[] = {
        {"byCustomerButton", customers, "1", {"1/1", "1/2"}, {}},
        {"byCustomerButton", customers, "4", {}, {}},
        {"byMailButton", mails, "1", {"1/1", "2/1", "3/1"}, QStringLiteral("成功 2，失败 1，跳过 0，未发送 1")},
        {"byMailButton", mails, "3", {}, QStringLiteral("成功 0，失败 0，跳过 0，未发送 4")},
        // The first pick in both lists takes the other list's number as the window hands it over.
        {"byBothButton", customers, "2", {}, {}, false},
        {"byBothButton", mails, "3", {}, QStringLiteral("成功 0，失败 0，跳过 0，未发送 4")},
        {"byBothButton", mails, "1", {"2/1"}, QStringLiteral("成功 2，失败 1，跳过 0，未发送 1")},
        {"byBothButton", customers, "1", {"1/1"}, QStringLiteral("成功 2，失败 1，跳过 0，未发送 1")},
        {"allButton", nullptr, nullptr, {"1/1", "2/1", "3/1", "1/2", "2/2"}, {}},
    };
    const int customer = records.fieldIndex(QStringLiteral("客户ID"));
    const int mail = records.fieldIndex(QStringLiteral("邮件ID"));
    for (const Step &step : steps) {
        SCOPED_TRACE(std::string(step.button) + " " + (step.number ? step.number : ""));
        control<QRadioButton>(step.button)->click();
        if (step.list)
            pick(step.list, QString::fromLatin1(step.number));
        if (!step.checked)
            continue;
        QStringList shown;
        for (int row = 0; row < grid->model()->rowCount(); ++row)
            shown.append(grid->model()->index(row, customer).data().toString() + u'/'
                         + grid->model()->index(row, mail).data().toString());
        EXPECT_EQ(shown, step.records);
        EXPECT_EQ(control<QLabel>("recordCount")->text(), QString::number(step.records.size()));
        EXPECT_EQ(control<QLabel>("mailSummary")->text(), step.summary);
    }
    EXPECT_EQ(shownColumns(grid), QStringList({QStringLiteral("客户ID"), QStringLiteral("邮件ID"),
                                               QStringLiteral("发送日期"), QStringLiteral("发送结果")}));
    EXPECT_TRUE(boxes.takeShown().isEmpty());
}

// "导入客户资料" with a real .xlsx: a row the database refuses (a name too long) among good ones is
// reported and the others go in; a long import cancelled from its progress box keeps what it had
// committed, in the sheet's order, and the customer page shows just that.
TEST_P(EngineWindow, AnImportReportsARefusedRowAndACancelKeepsWhatWasCommitted)
{
    open();
    boxes.takeShown();
    OpenDialogAnswers dialog;
    const QString path = QDir::current().filePath(QStringLiteral("客户.xlsx"));
    dialog.queueFileName(testbook::write(testbook::customers({{QStringLiteral("张三"), QStringLiteral("zs@example.com")},
                                                              {QString(101, u'长'), QStringLiteral("long@example.com")},
                                                              {QStringLiteral("王五"), {}},
                                                              {QStringLiteral("赵六"), QStringLiteral("zl@example.com")}}),
                                         testbook::Format::Xlsx, path));
    control<QPushButton>("importButton")->click();

    EXPECT_EQ(joined(QStringLiteral("select 客户名称, 电子邮件地址 from 客户表 order by \"客户ID\"")),
              QStringList({QStringLiteral("张三|zs@example.com"), QStringLiteral("赵六|zl@example.com")}));
    EXPECT_EQ(control<QLabel>("customerCount")->text(), QStringLiteral("数量:2  "));
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0].kind, Kind::ImportPreview);
    EXPECT_EQ(shown[1].kind, Kind::ImportReport);
    const QStringList report = shown[1].text.split(u'\n');
    EXPECT_EQ(report.first(), QStringLiteral("导入 2 位客户；跳过 2 行"));
    EXPECT_TRUE(report.contains(QStringLiteral("第 3 行：没有电子邮件地址"))) << shown[1].text.toStdString();
    EXPECT_TRUE(report.contains(QStringLiteral("数据库拒绝：1 行"))) << shown[1].text.toStdString();
    EXPECT_TRUE(std::ranges::any_of(report, [](const QString &line) {
        return line.startsWith(QStringLiteral("第 2 行：客户名称不能超过 100 个字符"));
    })) << shown[1].text.toStdString();

    db.exec(QStringLiteral("delete from 客户表"));
    QList<QPair<QString, QString>> rows;
    for (int i = 0; i < 20000; ++i)
        rows.append({QStringLiteral("客户%1").arg(i), QStringLiteral("c%1@example.com").arg(i)});
    dialog.queueFileName(testbook::write(testbook::customers(rows), testbook::Format::Xlsx, path));
    importCancellingWhileWriting();

    const QStringList kept = joined(QStringLiteral("select 客户名称 from 客户表 order by \"客户ID\""));
    EXPECT_LT(kept.size(), rows.size());
    for (int i = 0; i < kept.size(); ++i) {
        if (kept[i] != rows[i].first) {
            ADD_FAILURE() << "row " << i << " is " << kept[i].toStdString();
            break;
        }
    }
    EXPECT_EQ(control<QLabel>("customerCount")->text(), QStringLiteral("数量:%1  ").arg(kept.size()));
    EXPECT_EQ(form->views().customers.recordCount(), kept.size());
    const QList<boxes::ShownBox> cancelled = boxes.takeShown();
    ASSERT_EQ(cancelled.size(), 1);
    EXPECT_EQ(cancelled[0].kind, Kind::ImportPreview);
    EXPECT_EQ(form->findChild<QProgressDialog *>(), nullptr);
}

// The send command on either engine, to a real SMTP server and to scripted ones.
class EngineSendRun : public EngineWindow
{
protected:
    void account(const QString &server, const QString &user = {}, const QString &password = {}) const
    {
        db.exec(QStringLiteral("insert into 设置(发信人名称, 发信人电子邮件, \"SMTP服务器\", 用户名, 密码)"
                               " values('销售部', 'sales@example.test', ?, ?, ?)"),
                {server, user, password});
    }

    // The user picks the mail and a pause of 0 and answers the confirmation with 是.
    void send(const QString &mail)
    {
        auto *choice = control<QComboBox>("mailChoice");
        choice->showPopup();
        choice->hidePopup();
        choice->setCurrentIndex(choice->findData(mail));
        auto *pauses = control<QComboBox>("pauseChoice");
        if (pauses->findText(QStringLiteral("0")) < 0)
            pauses->addItem(QStringLiteral("0"));
        pauses->setCurrentIndex(pauses->findText(QStringLiteral("0")));
        boxes.queueConfirmAnswer(true);
        control<QPushButton>("sendButton")->click();
    }

    // Serves the window until the run has restored the send button; the boxes shown meanwhile, the
    // confirmation first.
    QList<boxes::ShownBox> waitForRunEnd()
    {
        auto *button = control<QPushButton>("sendButton");
        QElapsedTimer timer;
        timer.start();
        while (!(button->isEnabled() && button->text() == QStringLiteral("发送"))) {
            if (timer.elapsed() > 60000) {
                ADD_FAILURE() << "the run did not end";
                break;
            }
            QTest::qWait(20);
        }
        return boxes.takeShown();
    }

    // "客户ID/邮件ID 发送结果" of every record, in the order written.
    QStringList records() const
    {
        return joined(QStringLiteral("select \"客户ID\" || '/' || \"邮件ID\" || ' ' || coalesce(发送结果, '')"
                                     " from 发送情况 order by %1"));
    }

    // The same as the send-record page shows them, top to bottom.
    QStringList shownRecords()
    {
        const RecordView &view = form->views().sendRecords;
        QStringList shown;
        for (int row = 0; row < view.recordCount(); ++row)
            shown.append(view.value(row, view.fieldIndex(QStringLiteral("客户ID"))).toString() + u'/'
                         + view.value(row, view.fieldIndex(QStringLiteral("邮件ID"))).toString() + u' '
                         + view.value(row, view.fieldIndex(QStringLiteral("发送结果"))).toString());
        return shown;
    }
};

// A run to a real server with a login: every customer gets the mail, each has a record with its
// result in the database and on the send-record page, and the mail's summary counts them.
TEST_P(EngineSendRun, ARunWritesARecordAndAResultPerCustomer)
{
    AiosmtpdServer server;
    seed();
    account(serverText(server.address(), server.port()), server.user(), server.password());
    db.exec(QStringLiteral("insert into 明文登录许可(主机, 端口, 用户名) values(?, ?, ?)"),
            {server.address(), int(server.port()), server.user()});
    open();
    send(QStringLiteral("2"));
    const QList<boxes::ShownBox> shown = waitForRunEnd();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[1].kind, Kind::Message);
    EXPECT_EQ(shown[1].text, QStringLiteral("发送完成：成功 3 封，失败 0 封。"));

    const QList<ReceivedMessage> messages = server.waitForMessages(3);
    QStringList recipients;
    for (const ReceivedMessage &message : messages)
        recipients += message.rcptTos;
    EXPECT_EQ(recipients, QStringList({QStringLiteral("zhang@example.test"), QStringLiteral("li@example.test"),
                                       QStringLiteral("wang@example.test")}));
    const QStringList expected = {QStringLiteral("1/2 成功"), QStringLiteral("2/2 成功"), QStringLiteral("3/2 成功")};
    EXPECT_EQ(records(), expected);
    EXPECT_EQ(shownRecords(), expected);
    EXPECT_EQ(control<QLabel>("recordCount")->text(), QStringLiteral("3"));
    EXPECT_EQ(control<QLabel>("sendProgress")->text(), QStringLiteral("已发送 3 / 3，失败 0"));

    // The page read afresh, and the mail's summary, say the same.
    control<QRadioButton>("byMailButton")->click();
    auto *mails = control<QComboBox>("mailFilter");
    mails->showPopup();
    mails->view()->setCurrentIndex(mails->model()->index(mails->findData(QStringLiteral("2")), 0));
    QTest::keyClick(mails->view(), Qt::Key_Return);
    EXPECT_EQ(shownRecords(), expected);
    EXPECT_EQ(control<QLabel>("mailSummary")->text(), QStringLiteral("成功 3，失败 0，跳过 0，未发送 0"));
    EXPECT_TRUE(boxes.takeShown().isEmpty());
}

// A run the server ends after two customers, then "跳过已成功发送的客户" ticked and 发送 again: the
// second run mails only the two left, the choice is kept in the database, and the records tell the
// whole story.
TEST_P(EngineSendRun, ResumingWithTheSkipChoiceMailsOnlyThoseLeft)
{
    ScriptedServer first(opening() + accepted("zhang@example.test") + accepted("li@example.test")
                             + Script{ScriptedServer::close()},
                         QStringLiteral("127.0.0.1"), 0, 60s);
    ScriptedServer second(opening() + accepted("wang@example.test") + accepted("zhao@example.test") + quit(),
                          QStringLiteral("127.0.0.1"), 0, 60s);
    seed();
    addCustomers({{QStringLiteral("赵六"), QStringLiteral("zhao@example.test")}});
    account(serverText(first.address(), first.port()));
    open();
    send(QStringLiteral("2"));
    QList<boxes::ShownBox> shown = waitForRunEnd();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[1].kind, Kind::Error);
    EXPECT_EQ(records(), QStringList({QStringLiteral("1/2 成功"), QStringLiteral("2/2 成功"),
                                      QStringLiteral("3/2 失败：服务器关闭了连接")}));

    control<QCheckBox>("skipSentBox")->click();
    EXPECT_EQ(db.scalar(QStringLiteral("select 跳过已发送 from 发送选项")).toInt(), 1);
    control<QLineEdit>("serverEdit")->setText(serverText(second.address(), second.port()));
    send(QStringLiteral("2"));
    shown = waitForRunEnd();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_TRUE(shown[0].text.contains(QStringLiteral("发送邮件“新品介绍”给 2 位客户。"))) << shown[0].text.toStdString();
    EXPECT_TRUE(shown[0].text.contains(QStringLiteral("跳过 2 位已成功发送的客户。"))) << shown[0].text.toStdString();
    EXPECT_EQ(shown[1].kind, Kind::Message);
    EXPECT_EQ(shown[1].text, QStringLiteral("发送完成：成功 2 封，失败 0 封，跳过 2 位已发送的客户。"));
    EXPECT_EQ(second.failure(), QString());
    EXPECT_EQ(second.received(), second.expected());

    const QStringList expected = {QStringLiteral("1/2 成功"), QStringLiteral("2/2 成功"),
                                  QStringLiteral("3/2 失败：服务器关闭了连接"), QStringLiteral("3/2 成功"),
                                  QStringLiteral("4/2 成功")};
    EXPECT_EQ(records(), expected);
    EXPECT_EQ(shownRecords(), expected);
    EXPECT_EQ(control<QLabel>("sendProgress")->text(), QStringLiteral("已发送 2 / 2，失败 0"));

    // The choice holds in a window opened afresh.
    form.reset();
    open();
    EXPECT_TRUE(control<QCheckBox>("skipSentBox")->isChecked());
    EXPECT_EQ(shownRecords(), expected);
}

INSTANTIATE_TEST_SUITE_P(, EngineWindow, ::testing::Values(Engine::Sqlite, Engine::Postgres), engineTestName);
INSTANTIATE_TEST_SUITE_P(, EngineSendRun, ::testing::Values(Engine::Sqlite, Engine::Postgres), engineTestName);

} // namespace
