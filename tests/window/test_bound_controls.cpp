#include "WindowFixture.h"

#include "Controls.h"
#include "DatabaseError.h"
#include "DateTimeText.h"
#include "FieldControls.h"
#include "RecordGrid.h"
#include "RecordModel.h"
#include "RecordNavigator.h"
#include "Stamp.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QToolButton>

#include <functional>

namespace {

QString headerTitles(const QAbstractItemModel *model)
{
    QStringList titles;
    for (int c = 0; c < model->columnCount(); ++c)
        titles.append(model->headerData(c, Qt::Horizontal).toString());
    return titles.join(u',');
}

} // namespace

TEST_F(WindowTest, CustomerTypedIntoTheGridIsSavedWithItsStamp)
{
    db.exec(QStringLiteral("insert into 客户表(客户名称, 电子邮件地址) values('甲', 'a@example.com')"));
    open();
    auto *grid = control<RecordGrid>("customerGrid");
    QAbstractItemModelTester tester(grid->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(headerTitles(grid->model()), QStringLiteral("客户ID,客户名称,电子邮件地址,录入日期"));
    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(0, 1));

    QTest::keyClick(grid, Qt::Key_Down); // on the last record: a new one at the end
    ASSERT_EQ(form->views().customers.state(), RecordView::State::Inserting);
    EXPECT_EQ(grid->model()->rowCount(), 2);
    EXPECT_EQ(grid->currentIndex().row(), 1);

    // A date typed into the stamp column does not last.
    grid->setCurrentIndex(grid->model()->index(1, 3));
    type(QStringLiteral("2001-01-01 00:00:00"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    grid->setCurrentIndex(grid->model()->index(1, 1));
    type(QStringLiteral("张三"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    // The address is still in its open cell when the navigator saves.
    type(QStringLiteral("zhang@example.com"));
    ASSERT_TRUE(grid->isAncestorOf(QApplication::focusWidget()));

    const QDateTime before = QDateTime::currentDateTime().addMSecs(-1);
    QTest::mouseClick(control<RecordNavigator>("customerNavigator")->button(RecordNavigator::Post), Qt::LeftButton);
    const QDateTime after = QDateTime::currentDateTime().addMSecs(1);

    EXPECT_EQ(form->views().customers.state(), RecordView::State::Browsing);
    EXPECT_EQ(db.scalar(QStringLiteral("select 电子邮件地址 from 客户表 where 客户名称 = '张三'")).toString(),
              QStringLiteral("zhang@example.com"));
    const QDateTime stamp
        = stamp::fromText(db.scalar(QStringLiteral("select 录入日期 from 客户表 where 客户名称 = '张三'")).toString());
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, after);
    EXPECT_EQ(grid->model()->index(1, 3).data().toString(), formatGridDateTime(stamp));
    EXPECT_EQ(grid->model()->index(1, 0).data().toInt(),
              db.scalar(QStringLiteral("select 客户ID from 客户表 where 客户名称 = '张三'")).toInt());
    EXPECT_TRUE(boxes.takeShown().isEmpty());
}

// A business address longer than the 30 characters an earlier version took goes in whole; one over
// the schema's width is refused with the field and its width named, never cut, and nothing is saved.
TEST_F(WindowTest, TypedAddressesAreSavedWholeOrRefusedNeverCut)
{
    const QString longAddress = QStringLiteral("firstname.lastname@company-name.com.cn.x");
    ASSERT_EQ(longAddress.size(), 40);
    const QString tooLong = QString(243, u'a') + QStringLiteral("@example.com");
    ASSERT_EQ(tooLong.size(), 255);
    open();
    auto *grid = control<RecordGrid>("customerGrid");
    auto *navigator = control<RecordNavigator>("customerNavigator");
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Insert);
    grid->setCurrentIndex(grid->model()->index(0, 1));
    type(QStringLiteral("张三"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    type(longAddress);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QApplication::processEvents();
    QTest::mouseClick(navigator->button(RecordNavigator::Post), Qt::LeftButton);
    EXPECT_TRUE(boxes.takeShown().isEmpty());
    EXPECT_EQ(db.scalar(QStringLiteral("select 电子邮件地址 from 客户表 where 客户名称 = '张三'")).toString(), longAddress);

    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(0, 2));
    type(tooLong);
    auto *cell = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->text(), tooLong);
    QTest::keyClick(cell, Qt::Key_Return);
    QApplication::processEvents(); // the delegate hands the text over after the key
    QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::Error);
    EXPECT_TRUE(shown[0].text.startsWith(QStringLiteral("电子邮件地址不能超过 254 个字符"))) << shown[0].text.toStdString();
    QTest::mouseClick(navigator->button(RecordNavigator::Post), Qt::LeftButton);
    boxes.takeShown();
    EXPECT_EQ(db.rows(QStringLiteral("select 客户名称, 电子邮件地址 from 客户表")),
              testsupport::TempDatabase::Rows({{QStringLiteral("张三"), longAddress}}));

    // A bound box: the text stays whole in the box, refused when left and again at the save.
    control<PageTabs>("pages")->setCurrentIndex(3);
    auto *sender = control<FieldEdit>("senderAddressEdit");
    sender->setFocus();
    type(tooLong);
    EXPECT_EQ(sender->text(), tooLong);
    control<FieldEdit>("serverEdit")->setFocus();
    shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].text.startsWith(QStringLiteral("发信人电子邮件不能超过 254 个字符"))) << shown[0].text.toStdString();
    EXPECT_EQ(sender->text(), tooLong);
    QTest::mouseClick(control<RecordNavigator>("accountNavigator")->button(RecordNavigator::Post), Qt::LeftButton);
    shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].text.startsWith(QStringLiteral("发信人电子邮件不能超过 254 个字符"))) << shown[0].text.toStdString();
    EXPECT_EQ(count(QStringLiteral("设置")), 0);
    sender->setFocus();
    sender->selectAll();
    type(longAddress);
    QTest::mouseClick(control<RecordNavigator>("accountNavigator")->button(RecordNavigator::Post), Qt::LeftButton);
    EXPECT_TRUE(boxes.takeShown().isEmpty());
    EXPECT_EQ(db.scalar(QStringLiteral("select 发信人电子邮件 from 设置")).toString(), longAddress);
}

TEST_F(WindowTest, RefusedSaveShowsTheEnginesErrorAndStaysInEditing)
{
    open();
    auto *navigator = control<RecordNavigator>("customerNavigator");
    navigator->click(RecordNavigator::Insert);
    form->views().customers.setFieldValue(QStringLiteral("客户名称"), QString(101, u'名'));
    navigator->button(RecordNavigator::Post)->click();
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::Error);
    EXPECT_TRUE(shown[0].text.contains(QStringLiteral("客户名称"))) << shown[0].text.toStdString();
    EXPECT_EQ(form->views().customers.state(), RecordView::State::Inserting);
    EXPECT_TRUE(navigator->button(RecordNavigator::Post)->isEnabled());
    EXPECT_EQ(count(QStringLiteral("客户表")), 0);

    navigator->click(RecordNavigator::Cancel);
    EXPECT_EQ(form->views().customers.state(), RecordView::State::Browsing);
    EXPECT_EQ(control<RecordGrid>("customerGrid")->model()->rowCount(), 0);
}

TEST_F(WindowTest, GridLeavesTheRecordItCannotSave)
{
    db.exec(QStringLiteral("insert into 客户表(客户名称) values('甲'); insert into 客户表(客户名称) values('乙')"));
    open();
    auto *grid = control<RecordGrid>("customerGrid");
    form->views().customers.setFieldValue(QStringLiteral("客户名称"), QString(101, u'名'));
    grid->setCurrentIndex(grid->model()->index(1, 1));
    QCoreApplication::processEvents();
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::Error);
    EXPECT_TRUE(shown[0].text.contains(QStringLiteral("客户名称"))) << shown[0].text.toStdString();
    EXPECT_EQ(form->views().customers.currentRow(), 0);
    EXPECT_EQ(form->views().customers.state(), RecordView::State::Editing);
    EXPECT_EQ(grid->currentIndex().row(), 0);
}

namespace {

struct NavigatorCase
{
    const char *name;
    std::function<void(MainWindow &)> setUp;
    const char *enabled; // first prior next last insert delete edit post cancel refresh
};

void PrintTo(const NavigatorCase &c, std::ostream *os)
{
    *os << c.name;
}

const NavigatorCase navigatorCases[] = {
    {"first", [](MainWindow &) {}, "0011111001"},
    {"middle", [](MainWindow &f) { f.views().customers.next(); }, "1111111001"},
    {"last", [](MainWindow &f) { f.views().customers.last(); }, "1100111001"},
    {"editing", [](MainWindow &f) { f.views().customers.edit(); }, "0011110111"},
    {"inserting", [](MainWindow &f) { f.views().customers.insert(); }, "1100110111"}, // a new record is the last
    {"empty",
     [](MainWindow &f) {
         for (int i = 0; i < 3; ++i)
             f.views().customers.remove();
     },
     "0000101001"},
    // Refresh alone, to open the view again.
    {"closed", [](MainWindow &f) { f.views().customers.close(); }, "0000000001"},
    {"disabled", [](MainWindow &f) { f.findChild<QWidget *>(QStringLiteral("customerNavigator"))->setEnabled(false); },
     "0000000000"},
};

} // namespace

class NavigatorEnabling : public WindowTest, public ::testing::WithParamInterface<NavigatorCase>
{
};

TEST_P(NavigatorEnabling, ButtonsFollowTheView)
{
    db.exec(QStringLiteral("insert into 客户表(客户名称) values('甲'); insert into 客户表(客户名称) values('乙');"
                           "insert into 客户表(客户名称) values('丙')"));
    open();
    GetParam().setUp(*form);
    auto *navigator = control<RecordNavigator>("customerNavigator");
    QString enabled;
    for (int b = RecordNavigator::First; b <= RecordNavigator::Refresh; ++b)
        enabled += navigator->button(RecordNavigator::Button(b))->isEnabled() ? u'1' : u'0';
    EXPECT_EQ(enabled, QLatin1String(GetParam().enabled));
}

INSTANTIATE_TEST_SUITE_P(States, NavigatorEnabling, ::testing::ValuesIn(navigatorCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(WindowTest, NavigatorDeletesOnlyAfterTheConfirmationIsAnsweredOk)
{
    db.exec(QStringLiteral("insert into 邮件表(邮件主题) values('一'); insert into 邮件表(邮件主题) values('二')"));
    open();
    auto *navigator = control<RecordNavigator>("mailNavigator");
    boxes.queueConfirmAnswer(false);
    QTest::mouseClick(navigator->button(RecordNavigator::Delete), Qt::LeftButton);
    EXPECT_EQ(count(QStringLiteral("邮件表")), 2);
    boxes.queueConfirmAnswer(true);
    QTest::mouseClick(navigator->button(RecordNavigator::Delete), Qt::LeftButton);
    EXPECT_EQ(count(QStringLiteral("邮件表")), 1);

    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 2);
    for (const boxes::ShownBox &box : shown) {
        EXPECT_EQ(box.kind, boxes::ShownBox::Kind::Confirm);
        EXPECT_EQ(box.caption, boxes::applicationTitle());
        EXPECT_EQ(box.text, QStringLiteral("删除邮件“一”（1）？"));
    }
}

TEST_F(WindowTest, CtrlDeleteInTheSendRecordGridDeletesAfterTheConfirmation)
{
    db.exec(QStringLiteral(
        "insert into 发送情况(客户ID, 邮件ID, 发送日期) values(1, 1, '2012/5/3 9:05:07'); insert into 发送情况(客户ID, 邮件ID, 发送日期) values(2, 1, 'x')"));
    open();
    control<PageTabs>("pages")->setCurrentIndex(2);
    auto *grid = control<RecordGrid>("sendRecordGrid");
    grid->setFocus();
    EXPECT_EQ(grid->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(grid->editTriggers(), QAbstractItemView::NoEditTriggers);

    type(QStringLiteral("7"));
    EXPECT_EQ(form->views().sendRecords.state(), RecordView::State::Browsing);

    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(count(QStringLiteral("发送情况")), 1);
    EXPECT_EQ(boxes.takeShown().size(), 1);
}

TEST_F(WindowTest, LeavingTheGridDropsANewRecordNothingWasTypedInto)
{
    db.exec(QStringLiteral("insert into 客户表(客户名称) values('甲')"));
    open();
    auto *grid = control<RecordGrid>("customerGrid");
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Insert);
    EXPECT_EQ(form->views().customers.state(), RecordView::State::Inserting);
    EXPECT_EQ(grid->model()->rowCount(), 2);

    control<QComboBox>("pauseChoice")->setFocus();
    EXPECT_EQ(form->views().customers.state(), RecordView::State::Browsing);
    EXPECT_EQ(grid->model()->rowCount(), 1);

    // Up from an untouched new record drops it too; Escape drops the typed one.
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Down);
    EXPECT_EQ(grid->model()->rowCount(), 2);
    QTest::keyClick(grid, Qt::Key_Up);
    EXPECT_EQ(grid->model()->rowCount(), 1);
    EXPECT_EQ(count(QStringLiteral("客户表")), 1);
}

TEST_F(WindowTest, TypingIntoAnAccountBoxStartsTheAccountRecordAndLeavingHandsItOver)
{
    open();
    control<PageTabs>("pages")->setCurrentIndex(3);
    auto *name = control<FieldEdit>("senderNameEdit");
    name->setFocus();
    type(QStringLiteral("发信人"));
    EXPECT_EQ(form->views().account.state(), RecordView::State::Inserting);
    EXPECT_TRUE(form->views().account.fieldByName(QStringLiteral("发信人名称")).isNull());

    QTest::keyClick(name, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), control<QWidget>("senderAddressEdit"));
    EXPECT_EQ(form->views().account.fieldByName(QStringLiteral("发信人名称")).toString(), QStringLiteral("发信人"));

    // Text typed and not yet handed over goes to the record when the navigator saves.
    type(QStringLiteral("me@example.com"));
    QTest::mouseClick(control<RecordNavigator>("accountNavigator")->button(RecordNavigator::Post), Qt::LeftButton);
    EXPECT_EQ(db.scalar(QStringLiteral("select 发信人电子邮件 from 设置 where 发信人名称 = '发信人'")).toString(),
              QStringLiteral("me@example.com"));
}

TEST_F(WindowTest, EscapeInABoxRestoresTheFieldAndCancelShowsItAgain)
{
    db.exec(QStringLiteral("insert into 邮件表(邮件主题, 邮件内容) values('主题', '内容')"));
    open();
    control<PageTabs>("pages")->setCurrentIndex(1);
    auto *memo = control<FieldMemo>("contentEdit");
    memo->setFocus();
    type(QStringLiteral("加"));
    EXPECT_EQ(form->views().mails.state(), RecordView::State::Editing);
    QTest::keyClick(memo, Qt::Key_Escape);
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("内容"));

    type(QStringLiteral("加"));
    control<RecordNavigator>("mailNavigator")->click(RecordNavigator::Cancel);
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("内容"));
    EXPECT_EQ(form->views().mails.state(), RecordView::State::Browsing);
}

TEST_F(WindowTest, GridCellsShowDatesAndTheStartOfLongTexts)
{
    db.exec(QStringLiteral(
        "insert into 邮件表(邮件主题, 邮件内容, 建立日期) values('有', '正文', '2012-05-03 00:00:00.000');"
        "insert into 邮件表(邮件主题, 建立日期) values('无', '2012-05-03 09:05:07.000')"));
    open();
    QAbstractItemModel *model = control<RecordGrid>("mailGrid")->model();
    EXPECT_EQ(headerTitles(model), QStringLiteral("邮件ID,邮件主题,邮件内容,建立日期,广告"));
    const QDate day(2012, 5, 3);
    EXPECT_EQ(model->index(0, 2).data().toString(), QStringLiteral("正文"));
    EXPECT_EQ(model->index(1, 2).data().toString(), QString());
    EXPECT_EQ(model->index(0, 3).data().toString(), QLocale::system().toString(day, QLocale::ShortFormat));
    EXPECT_EQ(model->index(1, 3).data().toString(), formatDateTime(QDateTime(day, QTime(9, 5, 7))));
}

// A long text shows its first line that holds anything, cut with "…" where more follows; never
// the field's kind.
TEST(MemoStart, ShowsTheFirstLineCut)
{
    struct Case
    {
        const char16_t *text;
        const char16_t *shown;
    };
    const QString forty(40, QLatin1Char('x'));
    for (const Case &c : {Case{u"", u""}, Case{u"短", u"短"}, Case{u"第一行\r\n第二行", u"第一行…"},
                          Case{u"\n\n  开头空行\n", u"开头空行"}, Case{u"a\nb", u"a…"}}) {
        EXPECT_EQ(RecordModel::memoStart(QString::fromUtf16(c.text)), QString::fromUtf16(c.shown))
            << QString::fromUtf16(c.text).toStdString();
    }
    EXPECT_EQ(RecordModel::memoStart(forty), forty);
    EXPECT_EQ(RecordModel::memoStart(forty + QStringLiteral("y")), forty + QStringLiteral("…"));
    // A cut never splits a character outside the basic plane.
    const QString emoji = QString(39, QLatin1Char('x')) + QStringLiteral("😀😀");
    EXPECT_EQ(RecordModel::memoStart(emoji), QString(39, QLatin1Char('x')) + QStringLiteral("…"));
}

// An earlier version's file whose copy cannot be written is opened as it is, after a box that says
// so; the window then holds typing to the widths that file still has.
TEST_F(WindowTest, AnOlderFileThatCannotBeCopiedOpensAsItIsAfterABox)
{
    db.exec(QStringLiteral(
        "drop table 客户表;"
        "CREATE TABLE 客户表 (客户ID INTEGER PRIMARY KEY AUTOINCREMENT,"
        " 客户名称 NVARCHAR(40) CONSTRAINT 客户名称超过40个字符 CHECK (length(客户名称) <= 40),"
        " 电子邮件地址 NVARCHAR(30) CONSTRAINT 电子邮件地址超过30个字符 CHECK (length(电子邮件地址) <= 30),"
        " 录入日期 DATETIME);"
        "insert into 客户表(客户名称, 电子邮件地址) values('甲', 'a@example.com')"));
    QDir(db.dir()).mkdir(QStringLiteral("db.mdb.bak"));
    open();
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::Message);
    EXPECT_TRUE(shown[0].text.startsWith(QStringLiteral("无法写入数据库文件的备份"))) << shown[0].text.toStdString();
    auto *grid = control<RecordGrid>("customerGrid");
    ASSERT_EQ(grid->model()->rowCount(), 1);

    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(0, 2));
    type(QString(31, u'a'));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QApplication::processEvents();
    const QList<boxes::ShownBox> refused = boxes.takeShown();
    ASSERT_EQ(refused.size(), 1);
    EXPECT_TRUE(refused[0].text.startsWith(QStringLiteral("电子邮件地址不能超过 30 个字符"))) << refused[0].text.toStdString();
    EXPECT_EQ(db.scalar(QStringLiteral("select 电子邮件地址 from 客户表")).toString(), QStringLiteral("a@example.com"));
}
