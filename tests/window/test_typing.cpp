// Typing into the grids and bound boxes as a user does, with real keys and clicks, checked in the
// database afterwards: whatever leaves a cell hands its text over, cancel drops it, new records go
// at the end and stay new while the user fills them, and the grid never edits another record than
// the view's current one.

#include "WindowFixture.h"
#include "WorkbookFiles.h"

#include "Controls.h"
#include "FieldControls.h"
#include "OpenDialog.h"
#include "RecordGrid.h"
#include "RecordNavigator.h"

#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

#include <functional>

namespace {

// What the user does on the customer page, one step at a time.
class CustomerPage
{
public:
    CustomerPage(MainWindow &window, testsupport::TempDatabase &db)
        : m_window(window)
        , m_db(db)
        , m_grid(window.findChild<RecordGrid *>(QStringLiteral("customerGrid")))
    {
    }

    CustomerPage &click(int row, int column)
    {
        const QModelIndex index = m_grid->model()->index(row, column);
        EXPECT_TRUE(index.isValid()) << "no cell " << row << "," << column;
        QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, {}, m_grid->visualRect(index).center());
        return *this;
    }
    // A click on the last row, as the grid shows it.
    CustomerPage &clickLast(int column) { return click(m_grid->model()->rowCount() - 1, column); }
    CustomerPage &key(Qt::Key key)
    {
        QTest::keyClick(QApplication::focusWidget(), key);
        return *this;
    }
    CustomerPage &type(const QString &text)
    {
        for (const QChar c : text)
            QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), Qt::Key(c.toUpper().unicode()), QString(c),
                                Qt::NoModifier);
        return *this;
    }
    CustomerPage &press(RecordNavigator::Button button)
    {
        auto *navigator = m_window.findChild<RecordNavigator *>(QStringLiteral("customerNavigator"));
        QTest::mouseClick(navigator->button(button), Qt::LeftButton);
        return *this;
    }
    // The import button with a sheet of these rows; the import ends with its message box.
    CustomerPage &import(const QList<QPair<QString, QString>> &rows)
    {
        OpenDialogAnswers dialog;
        dialog.queueFileName(testbook::write(testbook::customers(rows), testbook::Format::Xlsx,
                                             QDir(m_db.dir()).filePath(QStringLiteral("客户.xlsx"))));
        m_window.findChild<QPushButton *>(QStringLiteral("importButton"))->click();
        return *this;
    }

    RecordGrid *grid() const { return m_grid; }

private:
    MainWindow &m_window;
    testsupport::TempDatabase &m_db;
    RecordGrid *m_grid;
};

struct GridCase
{
    const char *name;
    std::function<void(CustomerPage &)> steps;
    // 客户表 afterwards, "name|address" in the order of their numbers.
    QStringList rows;
    int boxes = 0; // message and error boxes the steps show
};

void PrintTo(const GridCase &c, std::ostream *os)
{
    *os << c.name;
}

using Page = CustomerPage;
using Nav = RecordNavigator;

// Every case starts on two customers, 甲 and 乙, with the grid focused on 甲's name.
const GridCase gridCases[] = {
    {"down_on_the_last_row_keeps_the_open_cell_of_a_new_row",
     [](Page &p) {
         p.click(1, 1).key(Qt::Key_Down).type(QStringLiteral("张三丰")).key(Qt::Key_Tab);
         p.type(QStringLiteral("zhangsan@example.com")).key(Qt::Key_Down);
     },
     {"甲|a@example.com", "乙|b@example.com", "张三丰|zhangsan@example.com"}},
    {"down_on_the_last_row_keeps_the_open_cell_of_an_existing_row",
     [](Page &p) { p.click(1, 2).type(QStringLiteral("z@example.com")).key(Qt::Key_Down); },
     {"甲|a@example.com", "乙|z@example.com"}},
    {"insert_keeps_the_open_cell",
     [](Page &p) { p.click(0, 1).type(QStringLiteral("丙")).key(Qt::Key_Insert); },
     {"丙|a@example.com", "乙|b@example.com"}},
    {"the_insert_key_adds_the_new_customer_at_the_end",
     [](Page &p) {
         p.click(0, 1).key(Qt::Key_Insert).type(QStringLiteral("丁")).key(Qt::Key_Tab);
         p.type(QStringLiteral("d@example.com")).press(Nav::Post);
     },
     {"甲|a@example.com", "乙|b@example.com", "丁|d@example.com"}},
    {"the_insert_button_adds_the_new_customer_at_the_end",
     [](Page &p) { p.press(Nav::Insert).type(QStringLiteral("丁")).press(Nav::Post); },
     {"甲|a@example.com", "乙|b@example.com", "丁|"}},
    {"cancel_drops_the_open_cell_and_a_click_elsewhere_saves_nothing",
     [](Page &p) {
         p.click(0, 2).type(QStringLiteral("houba2@example.com")).press(Nav::Cancel).click(1, 1);
         p.click(0, 1);
     },
     {"甲|a@example.com", "乙|b@example.com"}},
    {"cancel_drops_the_open_cell_of_a_new_row",
     [](Page &p) { p.click(1, 1).key(Qt::Key_Down).type(QStringLiteral("丙")).press(Nav::Cancel).click(0, 1); },
     {"甲|a@example.com", "乙|b@example.com"}},
    {"an_untouched_new_row_left_for_another_row_is_dropped",
     [](Page &p) {
         p.click(1, 1).key(Qt::Key_Down).click(0, 2).type(QStringLiteral("x@example.com")).key(Qt::Key_Return);
         p.click(1, 1);
     },
     {"甲|x@example.com", "乙|b@example.com"}},
    {"after_an_import_stopped_by_a_refused_row_typing_goes_to_the_row_clicked",
     [](Page &p) {
         p.import({{QStringLiteral("张三"), QStringLiteral("zs@example.com")},
                   {QString(101, u'长'), {}},
                   {QStringLiteral("王五"), {}}});
         p.clickLast(1).key(Qt::Key_Down).key(Qt::Key_Escape).key(Qt::Key_Escape);
         p.clickLast(2).type(QStringLiteral("new@example.com")).key(Qt::Key_Return).key(Qt::Key_Up);
     },
     {"甲|a@example.com", "乙|b@example.com", "张三|new@example.com"},
     2},
};

class GridKeys : public WindowTest, public ::testing::WithParamInterface<GridCase>
{
};

TEST_P(GridKeys, TypedTextEndsUpInTheRecordTheUserMeant)
{
    db.exec(QStringLiteral("insert into 客户表(客户名称, 电子邮件地址) values('甲', 'a@example.com');"
                           "insert into 客户表(客户名称, 电子邮件地址) values('乙', 'b@example.com')"));
    open();
    CustomerPage page(*form, db);
    page.grid()->setFocus();
    page.click(0, 1);
    GetParam().steps(page);
    // The grid and the view agree on the current record whatever happened.
    EXPECT_EQ(page.grid()->currentIndex().row(), form->views().customers.currentRow());

    QStringList rows;
    for (const QVariantList &row :
         db.rows(QStringLiteral("select 客户名称, ifnull(电子邮件地址, '') from 客户表 order by 客户ID")))
        rows.append(row.at(0).toString() + u'|' + row.at(1).toString());
    EXPECT_EQ(rows, GetParam().rows);
    EXPECT_EQ(boxes.takeShown().size(), GetParam().boxes);
}

INSTANTIATE_TEST_SUITE_P(Sequences, GridKeys, ::testing::ValuesIn(gridCases),
                         [](const auto &info) { return std::string(info.param.name); });

// The mail page: a new mail started on the navigator stays new while the user clicks into a box
// of the same page to write it, and the mail that was current before is left as it was.
class NewMail : public WindowTest, public ::testing::WithParamInterface<const char *>
{
};

TEST_P(NewMail, IsWrittenInTheBoxesAndAddedAtTheEnd)
{
    db.exec(QStringLiteral("insert into 邮件表(邮件主题, 邮件内容) values('第一封邮件', '这是第一封。');"
                           "insert into 邮件表(邮件主题, 邮件内容) values('第二封邮件', '这是第二封。')"));
    open();
    control<PageTabs>("pages")->setCurrentIndex(1);
    auto *grid = control<RecordGrid>("mailGrid");
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(1, 1)).center());
    ASSERT_TRUE(grid->hasFocus());
    auto *navigator = control<RecordNavigator>("mailNavigator");
    QTest::mouseClick(navigator->button(RecordNavigator::Insert), Qt::LeftButton);

    auto *box = control<QWidget>(GetParam());
    QTest::mouseClick(box, Qt::LeftButton);
    ASSERT_TRUE(box->hasFocus());
    EXPECT_EQ(form->views().mails.state(), RecordView::State::Inserting);
    EXPECT_EQ(grid->currentIndex().row(), 2) << "the new mail is the last row";
    type(QStringLiteral("第三封"));
    QTest::mouseClick(navigator->button(RecordNavigator::Post), Qt::LeftButton);

    const QString column
        = GetParam() == std::string("subjectEdit") ? QStringLiteral("邮件主题") : QStringLiteral("邮件内容");
    EXPECT_EQ(db.scalar(QStringLiteral("select %1 from 邮件表 where 邮件ID = 3").arg(column)).toString(),
              QStringLiteral("第三封"));
    EXPECT_EQ(db.scalar(QStringLiteral("select 邮件主题 || '/' || 邮件内容 from 邮件表 where 邮件ID = 2")).toString(),
              QStringLiteral("第二封邮件/这是第二封。"));
    EXPECT_EQ(count(QStringLiteral("邮件表")), 3);
    EXPECT_EQ(grid->currentIndex().row(), 2);
    EXPECT_TRUE(boxes.takeShown().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Boxes, NewMail, ::testing::Values("subjectEdit", "contentEdit"),
                         [](const auto &info) { return std::string(info.param); });

// Closing the window with a subject typed and not saved: the question, and each of its answers.
struct CloseCase
{
    const char *name;
    boxes::SaveAnswer answer;
    bool closes;
    const char16_t *storedSubject;
};

void PrintTo(const CloseCase &c, std::ostream *os)
{
    *os << c.name;
}

const CloseCase closeCases[] = {
    {"save", boxes::SaveAnswer::Save, true, u"旧改了"},
    {"dont_save", boxes::SaveAnswer::DontSave, true, u"旧"},
    {"cancel", boxes::SaveAnswer::Cancel, false, u"旧"},
};

class ClosingWithUnsavedTyping : public WindowTest, public ::testing::WithParamInterface<CloseCase>
{
};

TEST_P(ClosingWithUnsavedTyping, AsksWhetherToSave)
{
    db.exec(QStringLiteral("insert into 邮件表(邮件主题) values('旧')"));
    open();
    control<PageTabs>("pages")->setCurrentIndex(1);
    auto *subject = control<QLineEdit>("subjectEdit");
    subject->setFocus();
    subject->end(false);
    type(QStringLiteral("改了"));

    boxes.queueSaveAnswer(GetParam().answer);
    EXPECT_EQ(form->close(), GetParam().closes);
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::SaveQuestion);
    EXPECT_EQ(shown[0].caption, boxes::applicationTitle());
    EXPECT_EQ(shown[0].text, QStringLiteral("有尚未保存的修改，是否保存？"));
    EXPECT_EQ(form->isVisible(), !GetParam().closes);
    if (!GetParam().closes) {
        EXPECT_EQ(subject->text(), QStringLiteral("旧改了")) << "the typing is still there";
    }
    form.reset();
    EXPECT_EQ(db.scalar(QStringLiteral("select 邮件主题 from 邮件表")).toString(),
              QString::fromUtf16(GetParam().storedSubject));
    EXPECT_EQ(count(QStringLiteral("邮件表")), 1);
}

INSTANTIATE_TEST_SUITE_P(Answers, ClosingWithUnsavedTyping, ::testing::ValuesIn(closeCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(WindowTest, ClosingAsksOnlyWhenSomethingIsUnsavedAndSavesEveryView)
{
    db.exec(QStringLiteral("insert into 客户表(客户名称) values('甲')"));
    open();
    // Editing started but nothing changed: nothing to ask about.
    form->views().mails.insert();
    form->views().customers.edit();
    EXPECT_TRUE(form->close());
    EXPECT_TRUE(boxes.takeShown().isEmpty());

    // A customer cell still open and an account box typed into: both are saved.
    open();
    auto *grid = control<RecordGrid>("customerGrid");
    grid->setFocus();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(0, 2)).center());
    type(QStringLiteral("a@example.com"));
    control<PageTabs>("pages")->setCurrentIndex(3);
    auto *server = control<QLineEdit>("serverEdit");
    server->setFocus();
    type(QStringLiteral("mail.example.com"));
    boxes.queueSaveAnswer(boxes::SaveAnswer::Save);
    EXPECT_TRUE(form->close());
    EXPECT_EQ(boxes.takeShown().size(), 1);
    EXPECT_EQ(db.scalar(QStringLiteral("select 电子邮件地址 from 客户表")).toString(), QStringLiteral("a@example.com"));
    EXPECT_EQ(db.scalar(QStringLiteral("select SMTP服务器 from 设置")).toString(), QStringLiteral("mail.example.com"));
}

TEST_F(WindowTest, ASaveRefusedOnClosingKeepsTheWindowOpenAndShowsTheRefusal)
{
    open();
    auto *grid = control<RecordGrid>("customerGrid");
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Insert);
    form->views().customers.setFieldValue(QStringLiteral("客户名称"), QString(101, u'名'));
    boxes.queueSaveAnswer(boxes::SaveAnswer::Save);
    EXPECT_FALSE(form->close());
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::SaveQuestion);
    EXPECT_EQ(shown[1].kind, boxes::ShownBox::Kind::Error);
    EXPECT_TRUE(shown[1].text.contains(QStringLiteral("客户名称"))) << shown[1].text.toStdString();
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->views().customers.state(), RecordView::State::Inserting);
    EXPECT_EQ(count(QStringLiteral("客户表")), 0);
}

} // namespace
