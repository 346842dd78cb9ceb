#include "WindowFixture.h"

#include "SendRecordBrowser.h"

#include "DatabaseError.h"
#include "RecordGrid.h"
#include "RecordView.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QRadioButton>
#include <QSignalSpy>

namespace {

const QString closedView = DatabaseError::closedDataset().message();

// The window on a db.mdb with four customers, three mails and five send records. Customer 4 and
// mail 3 were never sent; customer 1 got mails 1 and 2.
class Browser : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        db.exec(QStringLiteral(
            "insert into 客户表(客户名称,电子邮件地址) values ('甲','a@example.com'), ('乙','b@example.com'),"
            " ('丙','c@example.com'), ('丁','d@example.com');"
            "insert into 邮件表(邮件主题,邮件内容) values ('一','1'), ('二','2'), ('三','3');"
            "insert into 发送情况(客户ID, 邮件ID, 发送日期) values (1,1,'2026/12/1 9:00:00'), (2,1,'2026/12/1 9:00:06'),"
            " (3,1,'2026/12/1 9:00:12'), (1,2,'2026/12/2 9:00:00'), (2,2,'2026/12/2 9:00:06');"));
    }

    void openPage()
    {
        open();
        customers = control<CustomerPicker>("customerFilter");
        mails = control<QComboBox>("mailFilter");
        count = control<QLabel>("recordCount");
        grid = control<RecordGrid>("sendRecordGrid");
        records = &form->views().sendRecords;
        requeries = std::make_unique<QSignalSpy>(records, &RecordView::activeChanged);
    }

    // Chooses a mode as a mouse click does.
    void choose(const char *button) { control<QRadioButton>(button)->click(); }

    // Drops the list down (it is filled afresh) and closes it again without a pick.
    static void dropDown(QComboBox *list)
    {
        list->showPopup();
        list->hidePopup();
    }

    // One column of every record the grid shows, top to bottom.
    QStringList shown(const QString &field) const
    {
        QStringList values;
        const int column = records->fieldIndex(field);
        for (int row = 0; row < grid->model()->rowCount(); ++row)
            values << grid->model()->index(row, column).data().toString();
        return values;
    }

    int gridRows() const { return grid->model()->rowCount(); }

    CustomerPicker *customers = nullptr;
    QComboBox *mails = nullptr;
    QLabel *count = nullptr;
    RecordGrid *grid = nullptr;
    RecordView *records = nullptr;
    std::unique_ptr<QSignalSpy> requeries;
};

TEST_F(Browser, StartsOnAllRecordsWithBothListsDisabledAndEmpty)
{
    openPage();
    EXPECT_TRUE(control<QRadioButton>("allButton")->isChecked());
    for (const char *button : {"byCustomerButton", "byMailButton", "byBothButton"})
        EXPECT_FALSE(control<QRadioButton>(button)->isChecked()) << button;
    for (QComboBox *list : {static_cast<QComboBox *>(customers), mails}) {
        EXPECT_FALSE(list->isEnabled());
        EXPECT_EQ(list->count(), 0);
        EXPECT_EQ(list->currentText(), QString());
    }
    EXPECT_EQ(gridRows(), 5);
    EXPECT_EQ(count->text(), QStringLiteral("5"));
    // The count's walk leaves the last record selected.
    EXPECT_EQ(grid->currentIndex().row(), 4);
    EXPECT_TRUE(boxes.takeShown().isEmpty());
}

TEST_F(Browser, StartsWithZeroForAnEmptyTable)
{
    db.exec(QStringLiteral("delete from 发送情况"));
    openPage();
    EXPECT_EQ(gridRows(), 0);
    EXPECT_EQ(count->text(), QStringLiteral("0"));
}

// Many pages of records: the grid holds every one from the start, the label counts them all, the
// last is selected, and a record anywhere shows its own values once the grid reaches it; a send
// run's record follows them.
TEST_F(Browser, ManyRecordsAreAllCountedAndShownWhereverTheGridGoes)
{
    db.exec(QStringLiteral("delete from 发送情况;"
                           "with recursive n(i) as (select 1 union all select i + 1 from n where i < 3000)"
                           " insert into 发送情况(客户ID, 邮件ID, 发送日期) select i, 1, '2026/12/1 9:00:00' from n;"
                           "delete from 发送情况 where 客户ID % 100 = 7"));
    openPage();
    const int total = 3000 - 30;
    EXPECT_EQ(count->text(), QString::number(total));
    EXPECT_EQ(gridRows(), total);
    EXPECT_EQ(grid->currentIndex().row(), total - 1);
    const int column = records->fieldIndex(QStringLiteral("客户ID"));
    const auto customerAt = [&](int row) { return grid->model()->index(row, column).data().toInt(); };
    EXPECT_EQ(customerAt(total - 1), 3000);
    QList<int> kept;
    for (int customer = 1; customer <= 3000; ++customer) {
        if (customer % 100 != 7)
            kept.append(customer);
    }
    for (const int row : {1500, 0, 700, 2200}) {
        grid->scrollTo(grid->model()->index(row, column));
        QApplication::processEvents();
        EXPECT_EQ(customerAt(row), kept.at(row)) << row;
    }

    form->views().browser.showSendRecord(5000, 4, 3, QStringLiteral("2026/12/3 9:00:00"), QStringLiteral("成功"));
    EXPECT_EQ(gridRows(), total + 1);
    EXPECT_EQ(customerAt(total), 4);
    EXPECT_EQ(count->text(), QString::number(total + 1));

    choose("byCustomerButton");
    choose("allButton"); // the record was only shown, never written
    EXPECT_EQ(count->text(), QString::number(total));
    EXPECT_EQ(gridRows(), total);
    EXPECT_EQ(customerAt(total - 1), 3000);
}

// Choosing a mode enables the lists it uses and leaves the grid alone until the next pick.
struct Mode
{
    const char *button;
    bool customersEnabled;
    bool mailsEnabled;

    friend void PrintTo(const Mode &mode, std::ostream *os) { *os << mode.button; }
};

class ModeChoice : public Browser, public ::testing::WithParamInterface<Mode>
{
};

TEST_P(ModeChoice, EnablesItsListsAndRunsNoQuery)
{
    openPage();
    choose(GetParam().button);
    EXPECT_TRUE(control<QRadioButton>(GetParam().button)->isChecked());
    EXPECT_FALSE(control<QRadioButton>("allButton")->isChecked());
    EXPECT_EQ(customers->isEnabled(), GetParam().customersEnabled);
    EXPECT_EQ(mails->isEnabled(), GetParam().mailsEnabled);
    EXPECT_EQ(requeries->count(), 0);
    EXPECT_EQ(gridRows(), 5);
    EXPECT_EQ(count->text(), QStringLiteral("5"));
}

INSTANTIATE_TEST_SUITE_P(Buttons, ModeChoice,
                         ::testing::Values(Mode{"byCustomerButton", true, false}, Mode{"byMailButton", false, true},
                                           Mode{"byBothButton", true, true}),
                         [](const auto &info) { return std::string(info.param.button); });

// A pick in the only enabled list shows that number's records and their count.
struct Pick
{
    const char *name;
    const char *button;
    bool inCustomers; // which list the pick is made in
    const char *entry;
    const char *statement;
    const char *field;
    int records;

    friend void PrintTo(const Pick &pick, std::ostream *os) { *os << pick.name; }
};

class SinglePick : public Browser, public ::testing::WithParamInterface<Pick>
{
};

TEST_P(SinglePick, ShowsThatNumbersRecordsAndCount)
{
    const Pick &p = GetParam();
    openPage();
    choose(p.button);
    pick(p.inCustomers ? customers : mails, QString::fromUtf8(p.entry));

    EXPECT_EQ(records->commandText(), QString::fromUtf8(p.statement));
    EXPECT_EQ(gridRows(), p.records);
    EXPECT_EQ(shown(QString::fromUtf8(p.field)), QStringList(p.records, QString::fromUtf8(p.entry)));
    EXPECT_EQ(count->text(), QString::number(p.records));
    EXPECT_EQ(grid->currentIndex().row(), p.records - 1);
    EXPECT_TRUE(boxes.takeShown().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Numbers, SinglePick,
                         ::testing::Values(Pick{"Customer", "byCustomerButton", true, "1",
                                                "select * from 发送情况 where 客户ID = 1", "客户ID", 2},
                                           Pick{"CustomerNeverSent", "byCustomerButton", true, "4",
                                                "select * from 发送情况 where 客户ID = 4", "客户ID", 0},
                                           Pick{"Mail", "byMailButton", false, "1",
                                                "select * from 发送情况 where 邮件ID = 1", "邮件ID", 3},
                                           Pick{"MailNeverSent", "byMailButton", false, "3",
                                                "select * from 发送情况 where 邮件ID = 3", "邮件ID", 0}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(Browser, CombinedModeUsesTheNumberTheOtherListShows)
{
    openPage();
    choose("byMailButton");
    pick(mails, QStringLiteral("2"));
    choose("byBothButton");
    // The hand-over of "1" selects that entry in the list that offers it; the customer list,
    // which never dropped down, still shows nothing.
    EXPECT_EQ(mails->currentText(), QStringLiteral("1 一"));
    EXPECT_EQ(mails->currentData().toString(), QStringLiteral("1"));
    EXPECT_EQ(customers->currentText(), QString());
    EXPECT_EQ(count->text(), QStringLiteral("2"));

    pick(customers, QStringLiteral("2"));
    EXPECT_EQ(records->commandText(), QStringLiteral("select * from 发送情况  where 客户ID=2 and 邮件ID=1"));
    EXPECT_EQ(shown(QStringLiteral("客户ID")), QStringList{QStringLiteral("2")});
    EXPECT_EQ(shown(QStringLiteral("邮件ID")), QStringList{QStringLiteral("1")});
    EXPECT_EQ(count->text(), QStringLiteral("1"));

    pick(mails, QStringLiteral("3"));
    EXPECT_EQ(records->commandText(), QStringLiteral("select * from 发送情况  where 客户ID=2 and 邮件ID=3"));
    EXPECT_EQ(gridRows(), 0);
    EXPECT_EQ(count->text(), QStringLiteral("0"));
    EXPECT_TRUE(boxes.takeShown().isEmpty());
}

TEST_F(Browser, AllAfterAFilterShowsEveryRecordAndKeepsTheLists)
{
    openPage();
    choose("byCustomerButton");
    pick(customers, QStringLiteral("1"));
    ASSERT_EQ(count->text(), QStringLiteral("2"));

    choose("allButton");
    EXPECT_EQ(records->commandText(), QStringLiteral("select * from 发送情况"));
    EXPECT_EQ(gridRows(), 5);
    EXPECT_EQ(count->text(), QStringLiteral("5"));
    EXPECT_FALSE(customers->isEnabled());
    EXPECT_FALSE(mails->isEnabled());
    EXPECT_EQ(customers->currentText(), QStringLiteral("1 甲"));
    EXPECT_EQ(customers->currentData().toString(), QStringLiteral("1"));
    EXPECT_EQ(customers->count(), 1); // the picker holds the chosen customer alone

    // Choosing it again while it is checked runs nothing.
    db.exec(QStringLiteral("insert into 发送情况(客户ID, 邮件ID, 发送日期) values (4,3,'2026/12/3 9:00:00')"));
    requeries->clear();
    choose("allButton");
    EXPECT_EQ(requeries->count(), 0);
    EXPECT_EQ(gridRows(), 5);
    EXPECT_EQ(count->text(), QStringLiteral("5"));
}

// The mail list is refilled at each drop-down and shows nothing until a pick; the customer picker
// opens on the first customers and, closed without a choice, keeps the customer chosen. Neither
// runs a query; the mail list's walk leaves the mail view on its last row, the picker leaves the
// customer view where it was.
TEST_F(Browser, OpeningAListWithoutAPickRunsNoQuery)
{
    openPage();
    choose("byCustomerButton");
    pick(customers, QStringLiteral("1"));
    choose("byMailButton");
    pick(mails, QStringLiteral("2"));
    form->views().customers.first();
    form->views().mails.first();
    requeries->clear();

    choose("byBothButton");
    customers->showPopup();
    ASSERT_TRUE(customers->isMatchListVisible());
    const QAbstractItemModel *matches = customers->matches();
    ASSERT_EQ(matches->rowCount(), 4);
    EXPECT_EQ((QStringList{matches->index(3, 0).data().toString(), matches->index(3, 1).data().toString(),
                           matches->index(3, 2).data().toString()}),
              (QStringList{QStringLiteral("4"), QStringLiteral("丁"), QStringLiteral("d@example.com")}));
    customers->hidePopup();
    dropDown(mails);
    EXPECT_EQ(requeries->count(), 0);
    EXPECT_EQ(count->text(), QStringLiteral("2"));
    EXPECT_EQ(records->commandText(), QStringLiteral("select * from 发送情况 where 邮件ID = 2"));
    EXPECT_EQ(customers->currentText(), QStringLiteral("1 甲"));
    EXPECT_EQ(mails->currentIndex(), -1);
    EXPECT_EQ(mails->currentText(), QString());
    // One entry per row, in the view's order, the number with the subject it stands for.
    EXPECT_EQ(mails->count(), 3);
    EXPECT_EQ(mails->itemText(2), QStringLiteral("3 三"));
    EXPECT_EQ(mails->itemData(2).toString(), QStringLiteral("3"));
    EXPECT_EQ(form->views().customers.currentRow(), 0);
    EXPECT_EQ(form->views().mails.currentRow(), 2);
}

// What the user types finds customers by number, name or address, each shown with all three;
// choosing one filters exactly as choosing its number does, and the box shows the entry as the
// full list did.
TEST_F(Browser, TypingFindsCustomersAndChoosingOneFilters)
{
    db.exec(QStringLiteral("insert into 客户表(客户名称,电子邮件地址) values ('甲乙','jiayi@shop.example')"));
    openPage();
    choose("byCustomerButton");
    const struct
    {
        QString typed;
        QStringList matches; // ID name address
    } cases[] = {
        {QStringLiteral("1"), {QStringLiteral("1 甲 a@example.com")}},
        {QStringLiteral("甲"), {QStringLiteral("1 甲 a@example.com"), QStringLiteral("5 甲乙 jiayi@shop.example")}},
        {QStringLiteral("SHOP"), {QStringLiteral("5 甲乙 jiayi@shop.example")}},
        {QStringLiteral("%"), {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        const QAbstractItemModel *matches = typeInPicker(customers, c.typed);
        QStringList shownMatches;
        for (int row = 0; row < matches->rowCount(); ++row)
            shownMatches << QStringLiteral("%1 %2 %3").arg(matches->index(row, 0).data().toString(),
                                                           matches->index(row, 1).data().toString(),
                                                           matches->index(row, 2).data().toString());
        EXPECT_EQ(shownMatches, c.matches);
        EXPECT_EQ(customers->isMatchListVisible(), !c.matches.isEmpty());
    }
    EXPECT_EQ(requeries->count(), 0);

    chooseCustomer(customers, QStringLiteral("a@exa"), QStringLiteral("1"));
    EXPECT_FALSE(customers->isMatchListVisible());
    EXPECT_EQ(customers->currentText(), QStringLiteral("1 甲"));
    EXPECT_EQ(records->commandText(), QStringLiteral("select * from 发送情况 where 客户ID = 1"));
    EXPECT_EQ(shown(QStringLiteral("客户ID")), QStringList(2, QStringLiteral("1")));
    EXPECT_EQ(count->text(), QStringLiteral("2"));
    const std::optional<SendRecordFilter> filter = form->views().browser.shownFilter();
    ASSERT_TRUE(filter);
    EXPECT_EQ(filter->customerId, 1);
    EXPECT_EQ(filter->mailId, std::nullopt);

    // Text typed and left without a choice is no filter: the box shows the chosen entry again.
    typeInPicker(customers, QStringLiteral("乙"));
    customers->hidePopup();
    control<QRadioButton>("allButton")->setFocus();
    EXPECT_EQ(customers->currentText(), QStringLiteral("1 甲"));
    EXPECT_EQ(records->commandText(), QStringLiteral("select * from 发送情况 where 客户ID = 1"));

    // Once it has offered customers, 客户ID+邮件ID hands it the number 1 as the list did.
    pick(customers, QStringLiteral("2"));
    choose("byBothButton");
    EXPECT_EQ(customers->currentText(), QStringLiteral("1 甲"));
    EXPECT_TRUE(boxes.takeShown().isEmpty());
}

TEST_F(Browser, ListOffersTheViewAsItIsAtTheDropDown)
{
    openPage();
    choose("byCustomerButton");
    customers->showPopup();
    ASSERT_EQ(customers->matches()->rowCount(), 4);
    customers->hidePopup();
    form->views().customers.append();
    form->views().customers.setFieldValue(QStringLiteral("客户名称"), QStringLiteral("戊"));
    // The unsaved customer is saved by the walk and offered with the others.
    pick(customers, QStringLiteral("5"));
    EXPECT_EQ(db.scalar(QStringLiteral("select 客户名称 from 客户表 where 客户ID = 5")).toString(),
              QStringLiteral("戊"));
    EXPECT_EQ(count->text(), QStringLiteral("0"));
}

TEST_F(Browser, RefusedStatementLeavesTheViewClosedAndTheNextPickTriesAgain)
{
    openPage();
    choose("byBothButton");
    dropDown(mails);
    // The customer list shows nothing, so the combined statement lacks a number.
    boxes.takeShown();
    pick(mails, QStringLiteral("1"));
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1) << "the engine took " << records->commandText().toStdString();
    EXPECT_TRUE(shown[0].text.contains(QStringLiteral("syntax error"))) << shown[0].text.toStdString();
    EXPECT_EQ(records->commandText(), QStringLiteral("select * from 发送情况  where 客户ID= and 邮件ID=1"));
    EXPECT_FALSE(records->isActive());
    EXPECT_EQ(gridRows(), 0);
    EXPECT_EQ(count->text(), QStringLiteral("5"));
    EXPECT_TRUE(control<QRadioButton>("byBothButton")->isChecked());
    EXPECT_TRUE(customers->isEnabled());
    EXPECT_TRUE(mails->isEnabled());
    EXPECT_EQ(mails->currentData().toString(), QStringLiteral("1"));

    pick(customers, QStringLiteral("1"));
    EXPECT_TRUE(records->isActive());
    EXPECT_EQ(records->commandText(), QStringLiteral("select * from 发送情况  where 客户ID=1 and 邮件ID=1"));
    EXPECT_EQ(gridRows(), 1);
    EXPECT_EQ(count->text(), QStringLiteral("1"));
}

TEST_F(Browser, DropDownOnAClosedViewGivesTheClosedViewErrorAndAnEmptyList)
{
    QFile::remove(db.path());
    openPage();
    boxes.takeShown();
    choose("byBothButton");
    for (QComboBox *list : {static_cast<QComboBox *>(customers), mails}) {
        dropDown(list);
        const QList<boxes::ShownBox> shown = boxes.takeShown();
        ASSERT_EQ(shown.size(), 1) << "a list dropped down on a closed view";
        EXPECT_EQ(shown[0].text, closedView + u'.');
        EXPECT_EQ(list->count(), 0);
    }
    EXPECT_TRUE(count->text().isEmpty());
}

// A send run hands each record it wrote to the window, which adds it to the open view whatever
// the filter, and counts it with the rows shown. A view left closed by a refused statement takes
// none, and its count stays the last one shown.
TEST_F(Browser, RecordsOfASendRunAreShownAndCounted)
{
    openPage();
    choose("byCustomerButton");
    pick(customers, QStringLiteral("1"));
    form->views().browser.showSendRecord(6, 3, 3, QStringLiteral("2026/12/3 9:00:00"), QStringLiteral("失败：550 5.1.1 no such user"));
    EXPECT_EQ(gridRows(), 3);
    EXPECT_EQ(shown(QStringLiteral("客户ID")).last(), QStringLiteral("3"));
    EXPECT_EQ(shown(QStringLiteral("发送结果")).last(), QStringLiteral("失败：550 5.1.1 no such user"));
    EXPECT_EQ(count->text(), QStringLiteral("3"));

    choose("byBothButton"); // the mail list shows nothing yet
    boxes.takeShown();
    emit customers->customerChosen();
    EXPECT_EQ(boxes.takeShown().size(), 1);
    form->views().browser.showSendRecord(7, 1, 1, QStringLiteral("2026/12/3 9:00:06"), QStringLiteral("成功"));
    EXPECT_FALSE(records->isActive());
    EXPECT_EQ(gridRows(), 0);
    EXPECT_EQ(count->text(), QStringLiteral("3"));
}

// The chosen mail's summary, read afresh at every open: a customer with a 成功 among several
// records got it, the latest record decides for the others, and a record from before results were
// kept is counted apart, in the tooltip. No mail chosen, no summary.
TEST_F(Browser, ChoosingAMailShowsHowItsCustomersStand)
{
    db.exec(QStringLiteral(
        "update 发送情况 set 发送结果 = '成功' where 客户ID = 1 and 邮件ID = 1;"
        "update 发送情况 set 发送结果 = '失败：550 5.1.1 no such user' where 客户ID = 2 and 邮件ID = 1;"
        "update 发送情况 set 发送结果 = '跳过：地址重复' where 客户ID = 3 and 邮件ID = 1;"
        "update 发送情况 set 发送结果 = '成功' where 客户ID = 2 and 邮件ID = 2;"
        "insert into 发送情况(客户ID, 邮件ID, 发送日期, 发送结果) values (1,1,'2026/12/3 9:00:00','失败：421 busy')"));
    openPage();
    auto *summary = control<QLabel>("mailSummary");
    EXPECT_TRUE(summary->isHidden());

    struct Shown
    {
        const char *button;
        bool inCustomers;
        const char *entry;
        QString text; // empty: no summary
        QString toolTip;
    };
    const Shown steps[] = {
        {"byMailButton", false, "1", QStringLiteral("成功 1，失败 1，跳过 1，未发送 1"), QString()},
        // Customer 1's record of mail 2 has no result.
        {"byMailButton", false, "2", QStringLiteral("成功 1，失败 0，跳过 0，未发送 2"),
         QStringLiteral("另有 1 位客户的记录早于发送结果的保存，结果不明")},
        {"byMailButton", false, "3", QStringLiteral("成功 0，失败 0，跳过 0，未发送 4"), QString()},
        {"byCustomerButton", true, "1", QString(), QString()},
        {"byBothButton", true, "3", QStringLiteral("成功 1，失败 1，跳过 1，未发送 1"), QString()}, // mail 1
    };
    for (const Shown &step : steps) {
        SCOPED_TRACE(std::string(step.button) + " " + step.entry);
        choose(step.button);
        pick(step.inCustomers ? customers : mails, QString::fromUtf8(step.entry));
        EXPECT_EQ(summary->text(), step.text);
        EXPECT_EQ(summary->isHidden(), step.text.isEmpty()); // hidden, as its page is not current
        EXPECT_EQ(summary->toolTip(), step.toolTip);
    }

    // A record written since is counted at the next open, which reads the summary again.
    db.exec(QStringLiteral("insert into 发送情况(客户ID, 邮件ID, 发送日期, 发送结果) values (4,1,'2026/12/3 9:00:06','成功')"));
    pick(customers, QStringLiteral("4"));
    EXPECT_EQ(summary->text(), QStringLiteral("成功 2，失败 1，跳过 1，未发送 0"));

    choose("allButton");
    EXPECT_EQ(summary->text(), QString());
    EXPECT_TRUE(summary->isHidden());
    EXPECT_TRUE(boxes.takeShown().isEmpty());
}

} // namespace
