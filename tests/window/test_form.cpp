#include "WindowFixture.h"

#include "db/DatabaseError.h"
#include "window/Appearance.h"
#include "window/Controls.h"
#include "window/DBGrid.h"
#include "window/DBNavigator.h"
#include "window/DateTimeText.h"

#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QToolButton>

namespace {

QString captionOf(const QWidget *widget)
{
    if (auto *label = qobject_cast<const QLabel *>(widget))
        return label->text();
    if (auto *button = qobject_cast<const QAbstractButton *>(widget))
        return button->text();
    if (auto *group = qobject_cast<const QGroupBox *>(widget))
        return group->title();
    return {};
}

struct Placement
{
    const char *name;
    const char *parent;
    QRect geometry; // an empty size: sized to its text
    const char16_t *caption;
};

const Placement placements[] = {
    {"DBGrid1", "Panel1", {14, 12, 651, 225}, u""},
    {"Label13", "Panel1", {15, 243, 0, 0}, u"数量:0  "},
    {"DBNavigator2", "Panel1", {15, 260, 650, 31}, u""},
    {"Panel8", "Panel1", {31, 301, 413, 129}, u""},
    {"Label3", "Panel8", {44, 54, 91, 23}, u"选择邮件ID   "},
    {"ComboBox1", "Panel8", {130, 54, 185, 21}, u""},
    {"Panel9", "Panel1", {494, 300, 171, 129}, u""},
    {"Label15", "Panel9", {17, 21, 0, 0}, u"间隔秒数       "},
    {"ComboBox4", "Panel9", {76, 16, 73, 21}, u""},
    {"Button1", "Panel9", {24, 74, 121, 33}, u"发送"},
    {"DBGrid2", "Panel2", {14, 13, 623, 135}, u""},
    {"Label6", "Panel2", {212, 166, 41, 19}, u"主题"},
    {"DBEdit1", "Panel2", {260, 160, 373, 25}, u""},
    {"Label7", "Panel2", {10, 180, 75, 21}, u"内容"},
    {"DBMemo1", "Panel2", {10, 200, 623, 177}, u""},
    {"DBNavigator1", "Panel2", {12, 394, 620, 31}, u""},
    {"DBGrid3", "Panel3", {13, 14, 623, 216}, u""},
    {"Label4", "Panel3", {14, 238, 125, 27}, u"当前显示记录个数："},
    {"Label5", "Panel3", {138, 238, 39, 23}, u"0"}, // the count of an empty table
    {"RadioGroup2", "Panel3", {13, 264, 165, 159}, u"查看发送记录"},
    {"RadioButton3", "Panel3", {28, 290, 113, 17}, u"客户ID"},
    {"RadioButton4", "Panel3", {28, 320, 113, 17}, u"邮件ID"},
    {"RadioButton5", "Panel3", {28, 354, 113, 17}, u"客户ID+邮件ID"},
    {"RadioButton6", "Panel3", {30, 384, 113, 17}, u"所有"},
    {"Label1", "Panel3", {236, 276, 77, 21}, u"选择客户ID   "},
    {"ComboBox2", "Panel3", {232, 298, 145, 21}, u""},
    {"Label2", "Panel3", {396, 276, 0, 0}, u"选择邮件ID    "},
    {"ComboBox3", "Panel3", {394, 298, 145, 21}, u""},
    {"Panel7", "Panel4", {8, 14, 623, 101}, u""},
    {"Label8", "Panel7", {150, 24, 101, 23}, u"发信人名称"},
    {"DBEdit2", "Panel7", {232, 22, 143, 21}, u""},
    {"Label9", "Panel7", {124, 68, 113, 25}, u"发信人电子邮件"},
    {"DBEdit3", "Panel7", {234, 66, 139, 21}, u""},
    {"Panel10", "Panel4", {8, 126, 623, 157}, u""},
    {"Label10", "Panel10", {148, 22, 91, 31}, u"SMTP服务器"},
    {"DBEdit4", "Panel10", {234, 20, 139, 21}, u""},
    {"Label11", "Panel10", {176, 66, 57, 29}, u"用户名"},
    {"DBEdit5", "Panel10", {236, 64, 139, 21}, u""},
    {"Label12", "Panel10", {190, 112, 41, 29}, u"密码"},
    {"DBEdit6", "Panel10", {236, 110, 139, 21}, u""},
    {"DBNavigator3", "Panel4", {10, 316, 620, 31}, u""},
    {"Panel11", "Panel5", {60, 16, 425, 372}, u""},
    {"Memo2", "Panel11", {32, 24, 361, 177}, u""},
    {"Memo1", "Panel11", {32, 232, 361, 113}, u""},
    {"Label14", "Panel5", {66, 399, 0, 0}, u"excel文件格式参考: demo.xlsx          "},
    {"Button2", "Panel5", {290, 396, 123, 22}, u"导入客户资料"},
};

} // namespace

TEST_F(WindowTest, FixedWindowWithFivePagesAndTheCustomerPageInFront)
{
    open();
    EXPECT_EQ(form->objectName(), QStringLiteral("Form1"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("邮件发送工具  http://www.quillon.example"));
    EXPECT_EQ(form->size(), QSize(706, 480));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(form->font().family(), QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(form->font().pointSize(), 8);

    auto *pages = control<TPageControl>("PageControl1");
    const QStringList captions = {QStringLiteral("客户信息"), QStringLiteral("邮件信息"), QStringLiteral("邮件发送情况"),
                                  QStringLiteral("设置邮箱帐号"), QStringLiteral("其它")};
    ASSERT_EQ(pages->count(), captions.size());
    for (int i = 0; i < pages->count(); ++i) {
        EXPECT_EQ(pages->tabText(i), captions[i]);
        EXPECT_EQ(pages->widget(i)->objectName(), QStringLiteral("TabSheet%1").arg(i + 1));
        EXPECT_EQ(pages->tabBar()->tabRect(i).width(), 88);
        QWidget *panel = control<QFrame>(qPrintable(QStringLiteral("Panel%1").arg(i + 1)));
        EXPECT_EQ(panel->parentWidget(), pages->widget(i));
        EXPECT_EQ(panel->size(), QSize(696, 450));
    }
    EXPECT_EQ(pages->currentIndex(), 0);
}

TEST_F(WindowTest, EveryControlSitsInPlaceWithItsCaption)
{
    open();
    for (const Placement &p : placements) {
        SCOPED_TRACE(p.name);
        QWidget *widget = control<QWidget>(p.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget()->objectName(), QLatin1String(p.parent));
        if (p.geometry.isEmpty()) {
            EXPECT_EQ(widget->pos(), p.geometry.topLeft());
            EXPECT_EQ(widget->size(), widget->sizeHint());
        } else {
            EXPECT_EQ(widget->geometry(), p.geometry);
        }
        EXPECT_EQ(captionOf(widget), QString::fromUtf16(p.caption));
    }
    EXPECT_TRUE(control<QPushButton>("Button1")->font().bold());
    EXPECT_TRUE(control<QLabel>("Label5")->font().bold());
    EXPECT_EQ(control<QLabel>("Label14")->font().pointSize(), 10);
    EXPECT_TRUE(control<QRadioButton>("RadioButton6")->isChecked());
    EXPECT_FALSE(control<QComboBox>("ComboBox2")->isEnabled());
    EXPECT_FALSE(control<QComboBox>("ComboBox3")->isEnabled());
}

TEST_F(WindowTest, ColoursFollowTheirRoles)
{
    open();
    const struct {
        const char *name;
        QPalette::ColorRole role;
        const char *color;
    } cases[] = {
        {"Panel1", QPalette::Window, "clGray"},
        {"Panel2", QPalette::Window, "clGrayText"},
        {"Panel8", QPalette::Window, "clInfoBk"},
        {"Panel9", QPalette::Window, "clGradientActiveCaption"},
        {"Label13", QPalette::Window, "clWhite"},
        {"DBGrid1", QPalette::Base, "clInfoBk"},
        {"ComboBox1", QPalette::Button, "clGradientActiveCaption"},
        {"DBEdit2", QPalette::Base, "clCaptionText"},
        {"Memo2", QPalette::Base, "clGradientActiveCaption"},
    };
    for (const auto &c : cases) {
        QWidget *widget = control<QWidget>(c.name);
        EXPECT_EQ(widget->palette().color(c.role), appearance::systemColor(QLatin1String(c.color))) << c.name;
    }
    QHeaderView *titles = control<TDBGrid>("DBGrid3")->horizontalHeader();
    EXPECT_EQ(titles->palette().color(QPalette::Button), appearance::systemColor(QStringLiteral("clGradientInactiveCaption")));
}

TEST_F(WindowTest, KeyboardOrderWithinEachPage)
{
    open();
    const QStringList order = {
        QStringLiteral("DBGrid1"),     QStringLiteral("ComboBox1"),    QStringLiteral("Button1"),
        QStringLiteral("ComboBox4"),   QStringLiteral("DBNavigator2"), QStringLiteral("DBGrid2"),
        QStringLiteral("DBMemo1"),     QStringLiteral("DBEdit1"),      QStringLiteral("DBNavigator1"),
        QStringLiteral("DBGrid3"),     QStringLiteral("RadioButton3"), QStringLiteral("RadioButton4"),
        QStringLiteral("RadioButton5"), QStringLiteral("RadioButton6"), QStringLiteral("ComboBox2"),
        QStringLiteral("ComboBox3"),   QStringLiteral("DBEdit2"),      QStringLiteral("DBEdit3"),
        QStringLiteral("DBEdit4"),     QStringLiteral("DBEdit5"),      QStringLiteral("DBEdit6"),
        QStringLiteral("DBNavigator3"), QStringLiteral("Memo1"),       QStringLiteral("Memo2"),
        QStringLiteral("Button2"),
    };
    QStringList chain;
    QWidget *first = control<QWidget>("DBGrid1");
    QWidget *widget = first;
    do {
        if (order.contains(widget->objectName()) && !chain.contains(widget->objectName()))
            chain.append(widget->objectName());
        widget = widget->nextInFocusChain();
    } while (widget != first);
    EXPECT_EQ(chain, order);
}

TEST_F(WindowTest, HintsShowAfterHalfASecondForTwoAndAHalf)
{
    open();
    EXPECT_EQ(control<TDBGrid>("DBGrid1")->toolTip(), QStringLiteral("输入客户名称及其电子邮件即可"));
    EXPECT_EQ(control<TDBGrid>("DBGrid2")->toolTip(), QStringLiteral("输入邮件主题及内容即可"));
    EXPECT_TRUE(control<TDBGrid>("DBGrid3")->toolTip().isEmpty());
    EXPECT_EQ(control<TDBGrid>("DBGrid1")->toolTipDuration(), 2500);
    EXPECT_EQ(QApplication::style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 500);

    const QStringList hints = {QStringLiteral("第一条记录"), QStringLiteral("上一条记录"), QStringLiteral("下一条记录"),
                               QStringLiteral("最后一条记录"), QStringLiteral("插入新记录"), QStringLiteral("删除当前记录"),
                               QStringLiteral("编辑当前记录"), QStringLiteral("确认编辑"), QStringLiteral("取消编辑"),
                               QStringLiteral("刷新数据")};
    const std::pair<int, const char *> navigators[] = {{1, "DBNavigator1"}, {0, "DBNavigator2"}, {3, "DBNavigator3"}};
    for (const auto &[page, name] : navigators) {
        control<TPageControl>("PageControl1")->setCurrentIndex(page);
        auto *navigator = control<TDBNavigator>(name);
        for (int i = 0; i < hints.size(); ++i) {
            QToolButton *button = navigator->Button(TNavigateBtn(i));
            EXPECT_EQ(button->toolTip(), hints[i]) << name;
            EXPECT_EQ(button->toolTipDuration(), 2500);
            EXPECT_EQ(button->width(), navigator->width() / 10);
        }
    }
}

TEST_F(WindowTest, PasswordBoxShowsAnAtSignForEveryCharacter)
{
    db.exec(QStringLiteral("insert into 设置(发信人名称, 密码) values('我', 'secret密码')"));
    open();
    auto *password = control<QLineEdit>("DBEdit6");
    EXPECT_EQ(password->text(), QStringLiteral("secret密码"));
    EXPECT_EQ(password->displayText(), QStringLiteral("@@@@@@@@"));
}

TEST_F(WindowTest, InformationPageTexts)
{
    open();
    const QStringList instructions = {
        QStringLiteral("一、使用方法："),
        QStringLiteral("    1.增加邮箱帐号"),
        QStringLiteral("    2.增加邮件信息"),
        QStringLiteral("    3.输入或导入客户信息"),
        QStringLiteral("    4.给所有客户发送所选的邮件"),
        QStringLiteral("       (客户名称会包含在所发邮件中)"),
        QString(),
        QStringLiteral(" 二、提示："),
        QStringLiteral("    "),
        QStringLiteral("    2.你的邮箱密码会以明文方式保存在"),
        QStringLiteral("        db.mdb文件中，请注意保管此文件。"),
        QStringLiteral("    3.若需增加新功能，请发电子邮件给我。"),
    };
    auto *memo2 = control<QPlainTextEdit>("Memo2");
    EXPECT_EQ(memo2->toPlainText().split(u'\n'), instructions);
    EXPECT_FALSE(memo2->isReadOnly());

    auto *memo1 = control<QPlainTextEdit>("Memo1");
    EXPECT_TRUE(memo1->isReadOnly());
    const QStringList about = memo1->toPlainText().split(u'\n');
    ASSERT_EQ(about.size(), 9);
    EXPECT_EQ(about[0], QString(6, u' '));
    EXPECT_EQ(about[1], QString(6, u' '));
    EXPECT_TRUE(about[2].startsWith(QString(7, u' ') + QStringLiteral("Quillon 1.0.0.0")));
    EXPECT_TRUE(about[3].isEmpty());
    EXPECT_TRUE(about[6].startsWith(QString(7, u' ') + QStringLiteral("Email:")));
    EXPECT_TRUE(about[7].isEmpty());
    EXPECT_EQ(about[8], QString(9, u' '));
}

TEST_F(WindowTest, PauseListStartsOnSixAndOffersOnlyItsEightValues)
{
    open();
    auto *pause = control<QComboBox>("ComboBox4");
    QStringList items;
    for (int i = 0; i < pause->count(); ++i)
        items.append(pause->itemText(i));
    EXPECT_EQ(items, QString("4 6 8 10 15 20 30 45").split(u' '));
    EXPECT_EQ(pause->currentText(), QStringLiteral("6"));
    EXPECT_FALSE(pause->isEditable());
    pause->setFocus();
    for (int i = 0; i < 10; ++i)
        QTest::keyClick(pause, Qt::Key_Up);
    EXPECT_EQ(pause->currentText(), QStringLiteral("4"));
    QTest::keyClick(pause, Qt::Key_Delete);
    QTest::keyClick(pause, Qt::Key_Backspace);
    EXPECT_EQ(pause->currentText(), QStringLiteral("4"));
}

TEST_F(WindowTest, CustomerCountChangesOnlyWhenTheViewIsRefreshed)
{
    db.exec(QStringLiteral("insert into 客户表(客户名称) values('甲'); insert into 客户表(客户名称) values('乙')"));
    open();
    auto *label = control<QLabel>("Label13");
    EXPECT_EQ(label->text(), QStringLiteral("数量:2  "));
    EXPECT_EQ(label->size(), label->sizeHint());

    form->ADODataSet1->Append();
    form->ADODataSet1->setFieldValue(QStringLiteral("客户名称"), QStringLiteral("丙"));
    form->ADODataSet1->Post();
    EXPECT_EQ(count(QStringLiteral("客户表")), 3);
    EXPECT_EQ(label->text(), QStringLiteral("数量:2  "));

    QTest::mouseClick(control<TDBNavigator>("DBNavigator2")->Button(nbRefresh), Qt::LeftButton);
    EXPECT_EQ(label->text(), QStringLiteral("数量:3  "));
}

TEST_F(WindowTest, MailChoiceListIsRefilledAtEveryDropDownAndLeavesTheLastMailCurrent)
{
    db.exec(QStringLiteral("insert into 邮件表(邮件主题) values('一'); insert into 邮件表(邮件主题) values('二');"
                           "insert into 邮件表(邮件主题) values('三')"));
    open();
    auto *choice = control<QComboBox>("ComboBox1");
    const auto items = [choice] {
        QStringList items;
        for (int i = 0; i < choice->count(); ++i)
            items.append(choice->itemText(i));
        return items;
    };
    EXPECT_EQ(choice->count(), 0);
    form->ADODataSet2->First();

    choice->showPopup();
    choice->hidePopup();
    EXPECT_EQ(items(), QStringList({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));
    EXPECT_EQ(choice->currentText(), QString());
    EXPECT_EQ(form->ADODataSet2->RecNo(), 2);
    EXPECT_EQ(control<QLineEdit>("DBEdit1")->text(), QStringLiteral("三"));

    choice->setCurrentIndex(1);
    EXPECT_EQ(choice->currentText(), QStringLiteral("2"));

    // A mail added meanwhile is offered at the next drop-down; closing without a pick leaves no choice.
    form->ADODataSet2->Append();
    form->ADODataSet2->setFieldValue(QStringLiteral("邮件主题"), QStringLiteral("四"));
    form->ADODataSet2->Post();
    choice->showPopup();
    choice->hidePopup();
    EXPECT_EQ(items().size(), 4);
    EXPECT_EQ(choice->currentText(), QString());
}

TEST_F(WindowTest, MailChoiceListSavesASubjectTypedButNotPostedFirst)
{
    db.exec(QStringLiteral("insert into 邮件表(邮件主题) values('旧'); insert into 邮件表(邮件主题) values('二')"));
    open();
    control<TPageControl>("PageControl1")->setCurrentIndex(1);
    auto *subject = control<QLineEdit>("DBEdit1");
    subject->setFocus();
    subject->selectAll();
    type(QStringLiteral("新主题"));
    EXPECT_EQ(form->ADODataSet2->State(), TDataSetState::dsEdit);

    control<QComboBox>("ComboBox1")->showPopup();
    control<QComboBox>("ComboBox1")->hidePopup();
    EXPECT_EQ(db.scalar(QStringLiteral("select 邮件主题 from 邮件表 where 邮件ID = 1")).toString(), QStringLiteral("新主题"));
    EXPECT_FALSE(db.scalar(QStringLiteral("select 建立日期 from 邮件表 where 邮件ID = 1")).isNull());
    EXPECT_EQ(subject->text(), QStringLiteral("二"));
}

TEST_F(WindowTest, MailChoiceListOfAnEmptyMailTableIsEmpty)
{
    open();
    auto *choice = control<QComboBox>("ComboBox1");
    choice->showPopup();
    choice->hidePopup();
    EXPECT_EQ(choice->count(), 0);
    EXPECT_EQ(choice->currentIndex(), -1);
}

TEST_F(WindowTest, DoubleClickOnTheCustomerPanelItselfShowsTheDateAndTime)
{
    open();
    auto *panel = control<TPanel>("Panel1");
    const QDateTime before = QDateTime::currentDateTime();
    QTest::mouseDClick(panel, Qt::LeftButton, {}, QPoint(680, 440));
    const QDateTime after = QDateTime::currentDateTime();
    const QList<shell::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, shell::ShownBox::Kind::Message);
    EXPECT_TRUE(shown[0].text == DateTimeText(before) || shown[0].text == DateTimeText(after)) << shown[0].text.toStdString();

    // Controls lying on the panel are not its surface, labels included.
    for (const char *name : {"Label13", "Panel8", "Label3"}) {
        QWidget *widget = control<QWidget>(name);
        QTest::mouseDClick(widget, Qt::LeftButton, {}, QPoint(2, 2));
    }
    EXPECT_TRUE(boxes.takeShown().isEmpty());
}

TEST_F(WindowTest, ClosingDropsEditsThatWereNotPosted)
{
    db.exec(QStringLiteral("insert into 邮件表(邮件主题) values('旧')"));
    open();
    control<TPageControl>("PageControl1")->setCurrentIndex(1);
    auto *subject = control<QLineEdit>("DBEdit1");
    subject->setFocus();
    subject->selectAll();
    type(QStringLiteral("改了"));
    form->ADODataSet1->Insert();
    form->ADODataSet1->setFieldValue(QStringLiteral("客户名称"), QStringLiteral("未保存"));

    EXPECT_TRUE(form->close());
    form.reset();
    EXPECT_EQ(db.scalar(QStringLiteral("select 邮件主题 from 邮件表")).toString(), QStringLiteral("旧"));
    EXPECT_EQ(count(QStringLiteral("客户表")), 0);
    EXPECT_TRUE(boxes.takeShown().isEmpty());
}

// The database cannot be opened at start: one error box, then the window with empty pages, and
// an error box for every later action on a view that stayed closed.
class StartWithoutDatabase : public WindowTest, public ::testing::WithParamInterface<const char *>
{
};

TEST_P(StartWithoutDatabase, OneErrorBoxThenEmptyPagesAndClosedViewErrors)
{
    const QString kind = QLatin1String(GetParam());
    QFile::remove(db.path());
    if (kind != QLatin1String("missing")) {
        QFile file(db.path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        if (kind == QLatin1String("not a database"))
            file.write(QByteArray("客户名称,电子邮件地址\n甲,a@example.com\n").repeated(100));
    }
    open();
    EXPECT_TRUE(form->isVisible());
    const QList<shell::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, shell::ShownBox::Kind::Error);
    EXPECT_FALSE(shown[0].text.isEmpty());

    for (TADODataSet *view : {form->ADODataSet1.get(), form->ADODataSet2.get(), form->ADODataSet3.get(),
                              form->ADODataSet4.get()})
        EXPECT_FALSE(view->Active());
    for (const char *name : {"DBGrid1", "DBGrid2", "DBGrid3"}) {
        EXPECT_EQ(control<TDBGrid>(name)->model()->rowCount(), 0);
        EXPECT_EQ(control<TDBGrid>(name)->model()->columnCount(), 0);
    }
    for (const char *name : {"DBNavigator1", "DBNavigator2", "DBNavigator3"}) {
        for (int b = nbFirst; b <= nbRefresh; ++b)
            EXPECT_FALSE(control<TDBNavigator>(name)->Button(TNavigateBtn(b))->isEnabled()) << name << b;
    }
    EXPECT_TRUE(control<QLabel>("Label13")->text().isEmpty());
    EXPECT_TRUE(control<QLineEdit>("DBEdit2")->isReadOnly());

    try {
        form->ComboBox1DropDown();
        FAIL() << "the mail list dropped down on a closed view";
    } catch (const EDatabaseError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Cannot perform this operation on a closed dataset"));
    }
    EXPECT_EQ(control<QComboBox>("ComboBox1")->count(), 0);
}

INSTANTIATE_TEST_SUITE_P(Files, StartWithoutDatabase, ::testing::Values("missing", "not a database", "empty file"),
                         [](const auto &info) {
                             QString name = QLatin1String(info.param);
                             return name.replace(u' ', u'_').toStdString();
                         });

TEST_F(WindowTest, AViewThatFailsToOpenLeavesTheViewsAfterItClosed)
{
    db.exec(QStringLiteral("insert into 客户表(客户名称) values('甲'); drop table 发送情况"));
    open();
    const QList<shell::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].text.contains(QStringLiteral("发送情况"))) << shown[0].text.toStdString();
    EXPECT_TRUE(form->ADODataSet1->Active());
    EXPECT_TRUE(form->ADODataSet2->Active());
    EXPECT_FALSE(form->ADODataSet3->Active());
    EXPECT_FALSE(form->ADODataSet4->Active());
    EXPECT_EQ(control<QLabel>("Label13")->text(), QStringLiteral("数量:1  "));
    EXPECT_EQ(control<TDBGrid>("DBGrid1")->model()->rowCount(), 1);
}
