#include "WindowFixture.h"

#include "Appearance.h"
#include "Controls.h"
#include "DatabaseError.h"
#include "DateTimeText.h"
#include "RecordGrid.h"
#include "RecordNavigator.h"
#include "Schema.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
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
    {"customerGrid", "customerPanel", {14, 12, 651, 225}, u""},
    {"customerCount", "customerPanel", {15, 243, 0, 0}, u"数量:0  "},
    {"customerNavigator", "customerPanel", {15, 260, 650, 31}, u""},
    {"mailChoicePanel", "customerPanel", {31, 301, 413, 129}, u""},
    {"mailChoiceLabel", "mailChoicePanel", {44, 54, 91, 23}, u"选择邮件ID   "},
    {"mailChoice", "mailChoicePanel", {130, 54, 185, 21}, u""},
    {"sendPanel", "customerPanel", {494, 300, 171, 129}, u""},
    {"pauseLabel", "sendPanel", {17, 21, 0, 0}, u"间隔秒数       "},
    {"pauseChoice", "sendPanel", {76, 16, 73, 21}, u""},
    {"sendButton", "sendPanel", {24, 74, 121, 33}, u"发送"},
    {"mailGrid", "mailPanel", {14, 13, 623, 135}, u""},
    {"subjectLabel", "mailPanel", {212, 166, 41, 19}, u"主题"},
    {"subjectEdit", "mailPanel", {260, 160, 373, 25}, u""},
    {"contentLabel", "mailPanel", {10, 180, 75, 21}, u"内容"},
    {"contentEdit", "mailPanel", {10, 200, 623, 177}, u""},
    {"mailNavigator", "mailPanel", {12, 394, 620, 31}, u""},
    {"sendRecordGrid", "sendRecordPanel", {13, 14, 623, 216}, u""},
    {"recordCountLabel", "sendRecordPanel", {14, 238, 125, 27}, u"当前显示记录个数："},
    {"recordCount", "sendRecordPanel", {138, 238, 39, 23}, u"0"}, // the count of an empty table
    {"filterGroup", "sendRecordPanel", {13, 264, 165, 159}, u"查看发送记录"},
    {"byCustomerButton", "sendRecordPanel", {28, 290, 113, 17}, u"客户ID"},
    {"byMailButton", "sendRecordPanel", {28, 320, 113, 17}, u"邮件ID"},
    {"byBothButton", "sendRecordPanel", {28, 354, 113, 17}, u"客户ID+邮件ID"},
    {"allButton", "sendRecordPanel", {30, 384, 113, 17}, u"所有"},
    {"customerFilterLabel", "sendRecordPanel", {236, 276, 77, 21}, u"选择客户ID   "},
    {"customerFilter", "sendRecordPanel", {232, 298, 145, 21}, u""},
    {"mailFilterLabel", "sendRecordPanel", {396, 276, 0, 0}, u"选择邮件ID    "},
    {"mailFilter", "sendRecordPanel", {394, 298, 145, 21}, u""},
    {"senderPanel", "accountPanel", {8, 14, 623, 101}, u""},
    {"senderNameLabel", "senderPanel", {150, 24, 101, 23}, u"发信人名称"},
    {"senderNameEdit", "senderPanel", {232, 22, 143, 21}, u""},
    {"senderAddressLabel", "senderPanel", {124, 68, 113, 25}, u"发信人电子邮件"},
    {"senderAddressEdit", "senderPanel", {234, 66, 139, 21}, u""},
    {"serverPanel", "accountPanel", {8, 126, 623, 157}, u""},
    {"serverLabel", "serverPanel", {148, 22, 91, 31}, u"SMTP服务器"},
    {"serverEdit", "serverPanel", {234, 20, 139, 21}, u""},
    {"userLabel", "serverPanel", {176, 66, 57, 29}, u"用户名"},
    {"userEdit", "serverPanel", {236, 64, 139, 21}, u""},
    {"passwordLabel", "serverPanel", {190, 112, 41, 29}, u"密码"},
    {"passwordEdit", "serverPanel", {236, 110, 139, 21}, u""},
    {"accountNavigator", "accountPanel", {10, 316, 620, 31}, u""},
    {"importPanel", "otherPanel", {60, 16, 425, 372}, u""},
    {"instructions", "importPanel", {32, 24, 361, 177}, u""},
    {"about", "importPanel", {32, 232, 361, 113}, u""},
    {"sampleFileNote", "otherPanel", {66, 399, 0, 0}, u"excel文件格式参考: demo.xlsx          "},
    {"importButton", "otherPanel", {290, 396, 123, 22}, u"导入客户资料"},
};

} // namespace

TEST_F(WindowTest, FixedWindowWithFivePagesAndTheCustomerPageInFront)
{
    open();
    EXPECT_EQ(form->objectName(), QStringLiteral("MainWindow"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("邮件发送工具  http://www.quillon.example"));
    EXPECT_EQ(form->size(), QSize(706, 480));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(form->font().family(), QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(form->font().pointSize(), 8);

    auto *pages = control<PageTabs>("pages");
    const QStringList captions
        = {QStringLiteral("客户信息"), QStringLiteral("邮件信息"), QStringLiteral("邮件发送情况"),
           QStringLiteral("设置邮箱帐号"), QStringLiteral("其它"), QStringLiteral("退订名单")};
    ASSERT_EQ(pages->count(), captions.size());
    const char *const pageNames[] = {"customerPage", "mailPage", "sendRecordPage", "accountPage", "otherPage", "refusalPage"};
    const char *const panelNames[] = {"customerPanel", "mailPanel", "sendRecordPanel", "accountPanel", "otherPanel", "refusalPanel"};
    for (int i = 0; i < pages->count(); ++i) {
        EXPECT_EQ(pages->tabText(i), captions[i]);
        EXPECT_EQ(pages->widget(i)->objectName(), QLatin1String(pageNames[i]));
        EXPECT_EQ(pages->tabBar()->tabRect(i).width(), 88);
        QWidget *panel = control<QFrame>(panelNames[i]);
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
    EXPECT_TRUE(control<QPushButton>("sendButton")->font().bold());
    EXPECT_TRUE(control<QLabel>("recordCount")->font().bold());
    EXPECT_EQ(control<QLabel>("sampleFileNote")->font().pointSize(), 10);
    EXPECT_TRUE(control<QRadioButton>("allButton")->isChecked());
    EXPECT_FALSE(control<QComboBox>("customerFilter")->isEnabled());
    EXPECT_FALSE(control<QComboBox>("mailFilter")->isEnabled());
}

TEST_F(WindowTest, ColoursFollowTheirRoles)
{
    open();
    const struct
    {
        const char *name;
        QPalette::ColorRole role;
        const char *color;
    } cases[] = {
        {"customerPanel", QPalette::Window, "clGray"},
        {"mailPanel", QPalette::Window, "clGrayText"},
        {"mailChoicePanel", QPalette::Window, "clInfoBk"},
        {"sendPanel", QPalette::Window, "clGradientActiveCaption"},
        {"customerCount", QPalette::Window, "clWhite"},
        {"customerGrid", QPalette::Base, "clInfoBk"},
        {"mailChoice", QPalette::Button, "clGradientActiveCaption"},
        {"senderNameEdit", QPalette::Base, "clCaptionText"},
        {"instructions", QPalette::Base, "clGradientActiveCaption"},
    };
    for (const auto &c : cases) {
        QWidget *widget = control<QWidget>(c.name);
        EXPECT_EQ(widget->palette().color(c.role), appearance::systemColor(QLatin1String(c.color))) << c.name;
    }
    // As drawn: the radio buttons' boxes too, not only the panels around them.
    for (const char *name : {"byCustomerButton", "byMailButton", "byBothButton", "allButton"}) {
        QWidget *button = control<QWidget>(name);
        const QImage drawn = button->grab().toImage();
        EXPECT_EQ(drawn.pixelColor(drawn.width() - 2, drawn.height() / 2),
                  appearance::systemColor(QStringLiteral("clInfoBk")))
            << name;
    }
    QHeaderView *titles = control<RecordGrid>("sendRecordGrid")->horizontalHeader();
    EXPECT_EQ(titles->palette().color(QPalette::Button),
              appearance::systemColor(QStringLiteral("clGradientInactiveCaption")));
}

TEST_F(WindowTest, ScrolledGridStartsWithAWholeRowUnderItsTitles)
{
    for (int i = 0; i < 30; ++i)
        db.exec(QStringLiteral("insert into 客户表(客户名称) values('客户%1')").arg(i));
    open();
    auto *grid = control<RecordGrid>("customerGrid");
    grid->setFocus();
    const auto topRowIsWhole = [grid] { EXPECT_EQ(grid->rowViewportPosition(grid->rowAt(0)), 0) << grid->rowAt(0); };
    QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
    topRowIsWhole();
    const int last = grid->model()->rowCount() - 1;
    EXPECT_LE(grid->rowViewportPosition(last) + grid->rowHeight(last), grid->viewport()->height());
    QTest::keyClick(grid, Qt::Key_PageUp);
    topRowIsWhole();
    QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
    topRowIsWhole();
}

TEST_F(WindowTest, KeyboardOrderWithinEachPage)
{
    open();
    const QStringList order = {
        QStringLiteral("customerGrid"),
        QStringLiteral("mailChoice"),
        QStringLiteral("sendButton"),
        QStringLiteral("pauseChoice"),
        QStringLiteral("customerNavigator"),
        QStringLiteral("mailGrid"),
        QStringLiteral("contentEdit"),
        QStringLiteral("subjectEdit"),
        QStringLiteral("mailNavigator"),
        QStringLiteral("sendRecordGrid"),
        QStringLiteral("byCustomerButton"),
        QStringLiteral("byMailButton"),
        QStringLiteral("byBothButton"),
        QStringLiteral("allButton"),
        QStringLiteral("customerFilter"),
        QStringLiteral("mailFilter"),
        QStringLiteral("senderNameEdit"),
        QStringLiteral("senderAddressEdit"),
        QStringLiteral("serverEdit"),
        QStringLiteral("userEdit"),
        QStringLiteral("passwordEdit"),
        QStringLiteral("accountNavigator"),
        QStringLiteral("about"),
        QStringLiteral("instructions"),
        QStringLiteral("importButton"),
    };
    QStringList chain;
    QWidget *first = control<QWidget>("customerGrid");
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
    EXPECT_EQ(control<RecordGrid>("customerGrid")->toolTip(), QStringLiteral("输入客户名称及其电子邮件即可"));
    EXPECT_EQ(control<RecordGrid>("mailGrid")->toolTip(), QStringLiteral("输入邮件主题及内容即可"));
    EXPECT_TRUE(control<RecordGrid>("sendRecordGrid")->toolTip().isEmpty());
    EXPECT_EQ(control<RecordGrid>("customerGrid")->toolTipDuration(), 2500);
    EXPECT_EQ(QApplication::style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 500);

    const QStringList hints
        = {QStringLiteral("第一条记录"),   QStringLiteral("上一条记录"), QStringLiteral("下一条记录"),
           QStringLiteral("最后一条记录"), QStringLiteral("插入新记录"), QStringLiteral("删除当前记录"),
           QStringLiteral("编辑当前记录"), QStringLiteral("确认编辑"),   QStringLiteral("取消编辑"),
           QStringLiteral("刷新数据")};
    const std::pair<int, const char *> navigators[]
        = {{1, "mailNavigator"}, {0, "customerNavigator"}, {3, "accountNavigator"}};
    for (const auto &[page, name] : navigators) {
        control<PageTabs>("pages")->setCurrentIndex(page);
        auto *navigator = control<RecordNavigator>(name);
        for (int i = 0; i < hints.size(); ++i) {
            QToolButton *button = navigator->button(RecordNavigator::Button(i));
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
    auto *password = control<QLineEdit>("passwordEdit");
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
    auto *memo2 = control<QPlainTextEdit>("instructions");
    EXPECT_EQ(memo2->toPlainText().split(u'\n'), instructions);
    EXPECT_FALSE(memo2->isReadOnly());

    auto *memo1 = control<QPlainTextEdit>("about");
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
    auto *pause = control<QComboBox>("pauseChoice");
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

TEST_F(WindowTest, CustomerCountFollowsASaveAndARefresh)
{
    db.exec(QStringLiteral("insert into 客户表(客户名称) values('甲'); insert into 客户表(客户名称) values('乙')"));
    open();
    auto *label = control<QLabel>("customerCount");
    EXPECT_EQ(label->text(), QStringLiteral("数量:2  "));
    EXPECT_EQ(label->size(), label->sizeHint());

    form->views().customers.append();
    form->views().customers.setFieldValue(QStringLiteral("客户名称"), QStringLiteral("丙"));
    form->views().customers.post();
    EXPECT_EQ(count(QStringLiteral("客户表")), 3);
    EXPECT_EQ(label->text(), QStringLiteral("数量:3  "));

    // A customer another program added shows at the next refresh.
    db.exec(QStringLiteral("insert into 客户表(客户名称) values('丁')"));
    QTest::mouseClick(control<RecordNavigator>("customerNavigator")->button(RecordNavigator::Refresh), Qt::LeftButton);
    EXPECT_EQ(label->text(), QStringLiteral("数量:4  "));
}

TEST_F(WindowTest, MailChoiceListIsRefilledAtEveryDropDownAndLeavesTheLastMailCurrent)
{
    db.exec(QStringLiteral("insert into 邮件表(邮件主题) values('一'); insert into 邮件表(邮件主题) values('二');"
                           "insert into 邮件表(邮件主题) values('三')"));
    open();
    auto *choice = control<QComboBox>("mailChoice");
    const auto items = [choice] {
        QStringList items;
        for (int i = 0; i < choice->count(); ++i)
            items.append(choice->itemText(i));
        return items;
    };
    EXPECT_EQ(choice->count(), 0);
    form->views().mails.first();

    choice->showPopup();
    choice->hidePopup();
    // Each mail as its number and subject; the number is what the choice stands for.
    EXPECT_EQ(items(), QStringList({QStringLiteral("1 一"), QStringLiteral("2 二"), QStringLiteral("3 三")}));
    EXPECT_EQ(choice->currentText(), QString());
    EXPECT_EQ(form->views().mails.currentRow(), 2);
    EXPECT_EQ(control<QLineEdit>("subjectEdit")->text(), QStringLiteral("三"));

    choice->setCurrentIndex(1);
    EXPECT_EQ(choice->currentText(), QStringLiteral("2 二"));
    EXPECT_EQ(choice->currentData().toString(), QStringLiteral("2"));

    // A mail added meanwhile is offered at the next drop-down; closing without a pick leaves no choice.
    form->views().mails.append();
    form->views().mails.setFieldValue(QStringLiteral("邮件主题"), QStringLiteral("四"));
    form->views().mails.post();
    choice->showPopup();
    choice->hidePopup();
    EXPECT_EQ(items().size(), 4);
    EXPECT_EQ(choice->currentText(), QString());
}

TEST_F(WindowTest, MailChoiceListSavesASubjectTypedButNotPostedFirst)
{
    db.exec(QStringLiteral("insert into 邮件表(邮件主题) values('旧'); insert into 邮件表(邮件主题) values('二')"));
    open();
    control<PageTabs>("pages")->setCurrentIndex(1);
    auto *subject = control<QLineEdit>("subjectEdit");
    subject->setFocus();
    subject->selectAll();
    type(QStringLiteral("新主题"));
    EXPECT_EQ(form->views().mails.state(), RecordView::State::Editing);

    control<QComboBox>("mailChoice")->showPopup();
    control<QComboBox>("mailChoice")->hidePopup();
    EXPECT_EQ(db.scalar(QStringLiteral("select 邮件主题 from 邮件表 where 邮件ID = 1")).toString(),
              QStringLiteral("新主题"));
    EXPECT_FALSE(db.scalar(QStringLiteral("select 建立日期 from 邮件表 where 邮件ID = 1")).isNull());
    EXPECT_EQ(subject->text(), QStringLiteral("二"));
}

TEST_F(WindowTest, MailChoiceListOfAnEmptyMailTableIsEmpty)
{
    open();
    auto *choice = control<QComboBox>("mailChoice");
    choice->showPopup();
    choice->hidePopup();
    EXPECT_EQ(choice->count(), 0);
    EXPECT_EQ(choice->currentIndex(), -1);
}

TEST_F(WindowTest, DoubleClickOnTheCustomerPanelItselfShowsTheDateAndTime)
{
    open();
    auto *panel = control<ClickablePanel>("customerPanel");
    const QDateTime before = QDateTime::currentDateTime();
    QTest::mouseDClick(panel, Qt::LeftButton, {}, QPoint(680, 440));
    const QDateTime after = QDateTime::currentDateTime();
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::Message);
    EXPECT_TRUE(shown[0].text == formatDateTime(before) || shown[0].text == formatDateTime(after))
        << shown[0].text.toStdString();

    // Controls lying on the panel are not its surface, labels included.
    for (const char *name : {"customerCount", "mailChoicePanel", "mailChoiceLabel"}) {
        QWidget *widget = control<QWidget>(name);
        QTest::mouseDClick(widget, Qt::LeftButton, {}, QPoint(2, 2));
    }
    EXPECT_TRUE(boxes.takeShown().isEmpty());
}

TEST_F(WindowTest, ClosingWithoutSavingDropsEditsThatWereNotPosted)
{
    db.exec(QStringLiteral("insert into 邮件表(邮件主题) values('旧')"));
    open();
    control<PageTabs>("pages")->setCurrentIndex(1);
    auto *subject = control<QLineEdit>("subjectEdit");
    subject->setFocus();
    subject->selectAll();
    type(QStringLiteral("改了"));
    form->views().customers.insert();
    form->views().customers.setFieldValue(QStringLiteral("客户名称"), QStringLiteral("未保存"));

    boxes.queueSaveAnswer(boxes::SaveAnswer::DontSave);
    EXPECT_TRUE(form->close());
    form.reset();
    EXPECT_EQ(db.scalar(QStringLiteral("select 邮件主题 from 邮件表")).toString(), QStringLiteral("旧"));
    EXPECT_EQ(count(QStringLiteral("客户表")), 0);
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1) << "one question for both views";
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::SaveQuestion);
}

// The database cannot be opened at start: one error box naming the file, then the window with
// empty pages; the commands say the database is not open, and a navigator's refresh tries again.
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
    const QString file = QFileInfo(db.path()).absoluteFilePath();
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::Error);
    EXPECT_TRUE(shown[0].text.contains(file)) << shown[0].text.toStdString();

    for (RecordView *view : {&form->views().customers, &form->views().mails, &form->views().sendRecords, &form->views().account})
        EXPECT_FALSE(view->isActive());
    for (const char *name : {"customerGrid", "mailGrid", "sendRecordGrid"}) {
        EXPECT_EQ(control<RecordGrid>(name)->model()->rowCount(), 0);
        EXPECT_EQ(control<RecordGrid>(name)->model()->columnCount(), 0);
    }
    for (const char *name : {"mailNavigator", "customerNavigator", "accountNavigator"}) {
        for (int b = RecordNavigator::First; b <= RecordNavigator::Refresh; ++b)
            EXPECT_EQ(control<RecordNavigator>(name)->button(RecordNavigator::Button(b))->isEnabled(),
                      b == RecordNavigator::Refresh)
                << name << b;
    }
    EXPECT_TRUE(control<QLabel>("customerCount")->text().isEmpty());
    EXPECT_TRUE(control<QLineEdit>("senderNameEdit")->isReadOnly());

    auto *mailChoice = control<QComboBox>("mailChoice");
    mailChoice->showPopup();
    mailChoice->hidePopup();
    const QList<boxes::ShownBox> dropDownBoxes = boxes.takeShown();
    ASSERT_EQ(dropDownBoxes.size(), 1) << "the mail list dropped down on a closed view";
    EXPECT_EQ(dropDownBoxes[0].text, DatabaseError::closedDataset().message() + u'.');
    EXPECT_EQ(mailChoice->count(), 0);

    const QString notOpen
        = QStringLiteral("数据库没有打开。请检查数据库文件“%1”，然后点导航条上的刷新按钮重新打开").arg(file) + u'.';
    for (const char *command : {"sendButton", "importButton"}) {
        control<QPushButton>(command)->click();
        const QList<boxes::ShownBox> refused = boxes.takeShown();
        ASSERT_EQ(refused.size(), 1) << command;
        EXPECT_EQ(refused[0].text, notOpen) << command;
    }

    // The file is put right; the refresh opens everything.
    QFile::remove(db.path());
    createDatabase(db.path());
    QTest::mouseClick(control<RecordNavigator>("customerNavigator")->button(RecordNavigator::Refresh), Qt::LeftButton);
    EXPECT_TRUE(boxes.takeShown().isEmpty());
    for (RecordView *view : {&form->views().customers, &form->views().mails, &form->views().sendRecords, &form->views().account})
        EXPECT_TRUE(view->isActive());
    EXPECT_EQ(control<QLabel>("customerCount")->text(), QStringLiteral("数量:0  "));
}

INSTANTIATE_TEST_SUITE_P(Files, StartWithoutDatabase, ::testing::Values("missing", "not a database", "empty file"),
                         [](const auto &info) {
                             QString name = QLatin1String(info.param);
                             return name.replace(u' ', u'_').toStdString();
                         });

// A file without a table or column the program needs opens no view: one box names what is missing.
TEST_F(WindowTest, ADatabaseLackingWhatTheProgramNeedsOpensNoView)
{
    const QString file = QFileInfo(db.path()).absoluteFilePath();
    struct Case
    {
        const char *name;
        const char *change;
        QString missing;
    };
    const Case cases[] = {
        {"a table", "drop table 发送情况", QStringLiteral("表“发送情况”")},
        {"a column", "alter table 设置 drop column 密码", QStringLiteral("表“设置”的列“密码”")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(db.path());
        createDatabase(db.path());
        db.exec(QString::fromUtf8(c.change));
        open();
        const QList<boxes::ShownBox> shown = boxes.takeShown();
        ASSERT_EQ(shown.size(), 1);
        EXPECT_EQ(shown[0].text, QStringLiteral("数据库文件“%1”缺少%2.").arg(file, c.missing));
        for (RecordView *view :
             {&form->views().customers, &form->views().mails, &form->views().sendRecords, &form->views().account})
            EXPECT_FALSE(view->isActive());
        form.reset();
    }
}
