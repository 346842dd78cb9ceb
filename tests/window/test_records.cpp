// Deleting, adding and counting records through the real window: what a confirmation deletes, what
// the counts say after each change, and where the keyboard goes for a new record.
#include "WindowFixture.h"

#include "Controls.h"
#include "RecordDeletion.h"
#include "RecordGrid.h"
#include "RecordNavigator.h"

#include <QLabel>
#include <QToolButton>

#include <functional>

namespace {

class RecordsTest : public WindowTest
{
protected:
    // 张三 (1), 李四 (2), 王五 (3); one mail.
    void SetUp() override
    {
        WindowTest::SetUp();
        db.exec(QStringLiteral("insert into 客户表(客户名称, 电子邮件地址) values('张三', 'zhang@example.test'),"
                               " ('李四', 'li@example.test'), ('王五', 'wang@example.test');"
                               "insert into 邮件表(邮件主题, 邮件内容) values('新品介绍', '内容')"));
    }

    void click(const char *navigator, RecordNavigator::Button button)
    {
        QTest::mouseClick(control<RecordNavigator>(navigator)->button(button), Qt::LeftButton);
    }

    QStringList customerNames() const
    {
        QStringList names;
        for (const QVariantList &row : db.rows(QStringLiteral("select 客户名称 from 客户表 order by 客户ID")))
            names.append(row.value(0).toString());
        return names;
    }

    QString customerCount() { return control<QLabel>("customerCount")->text(); }
};

TEST(DeleteQuestion, NamesWhatTheRecordHas)
{
    struct Case
    {
        const char16_t *kind, *name, *id, *question;
    };
    const Case cases[] = {
        {u"客户", u"张三", u"12", u"删除客户“张三”（12）？"},
        {u"邮件", u"新品介绍", u"3", u"删除邮件“新品介绍”（3）？"},
        {u"客户", u"", u"12", u"删除客户（12）？"},
        {u"退订地址", u"a@example.test", u"", u"删除退订地址“a@example.test”？"},
        {u"客户", u"", u"", u"删除这条记录？"},
        {u"", u"张三", u"12", u"删除这条记录？"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(deleteQuestion(QString::fromUtf16(c.kind), QString::fromUtf16(c.name), QString::fromUtf16(c.id)),
                  QString::fromUtf16(c.question));
}

// The record asked about is gone by the time the user answers: nothing else is deleted in its place,
// whether the grid still shows it or was read anew (its current row then being another customer).
TEST_F(RecordsTest, ARecordGoneWhileTheConfirmationIsOpenDeletesNothing)
{
    for (const bool refreshed : {false, true}) {
        SCOPED_TRACE(refreshed ? "refreshed" : "still shown");
        open();
        auto *grid = control<RecordGrid>("customerGrid");
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Down);
        ASSERT_EQ(form->views().customers.fieldByName(QStringLiteral("客户名称")).toString(), QStringLiteral("李四"));

        boxes.whileNextQuestionOpen([&] {
            db.exec(QStringLiteral("delete from 客户表 where 客户ID = 2"));
            if (refreshed)
                form->views().customers.refresh();
        });
        boxes.queueConfirmAnswer(true);
        QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);

        EXPECT_EQ(customerNames(), QStringList({QStringLiteral("张三"), QStringLiteral("王五")}));
        EXPECT_EQ(grid->model()->rowCount(), 2);
        EXPECT_EQ(customerCount(), QStringLiteral("数量:2  "));
        const QList<boxes::ShownBox> shown = boxes.takeShown();
        ASSERT_EQ(shown.size(), 1);
        EXPECT_EQ(shown[0].text, QStringLiteral("删除客户“李四”（2）？"));

        form.reset();
        db.exec(QStringLiteral("insert into 客户表(客户ID, 客户名称, 电子邮件地址) values(2, '李四', 'li@example.test')"));
    }
}

// The counts say how many rows are shown after every change, not only after the next refresh: a
// new record counts once it is saved.
TEST_F(RecordsTest, CountsFollowEveryAddAndDelete)
{
    open();
    auto *grid = control<RecordGrid>("customerGrid");
    struct Step
    {
        const char *what;
        std::function<void()> act;
        const char16_t *count;
    };
    const Step steps[] = {
        {"opened", [] {}, u"数量:3  "},
        {"+", [&] { click("customerNavigator", RecordNavigator::Insert); }, u"数量:3  "},
        {"typed and saved",
         [&] {
             type(QStringLiteral("赵六"));
             click("customerNavigator", RecordNavigator::Post);
         },
         u"数量:4  "},
        {"deleted with the navigator",
         [&] {
             boxes.queueConfirmAnswer(true);
             click("customerNavigator", RecordNavigator::Delete);
         },
         u"数量:3  "},
        {"a new record given up",
         [&] {
             click("customerNavigator", RecordNavigator::Insert);
             click("customerNavigator", RecordNavigator::Cancel);
         },
         u"数量:3  "},
        {"deleted in the grid",
         [&] {
             boxes.queueConfirmAnswer(true);
             QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
         },
         u"数量:2  "},
        {"added by Down on the last row",
         [&] {
             grid->setFocus();
             grid->setCurrentIndex(grid->model()->index(grid->model()->rowCount() - 1, 1));
             QTest::keyClick(grid, Qt::Key_Down);
             type(QStringLiteral("孙七"));
             click("customerNavigator", RecordNavigator::Post);
         },
         u"数量:3  "},
    };
    for (const Step &step : steps) {
        step.act();
        EXPECT_EQ(customerCount(), QString::fromUtf16(step.count)) << step.what;
        EXPECT_EQ(customerCount(), QStringLiteral("数量:%1  ").arg(count(QStringLiteral("客户表")))) << step.what;
    }
    EXPECT_EQ(customerNames().size(), 3);
}

// After + the keyboard is where the new record is filled in: the grid's first cell that takes
// typing, or the page's first bound box where the grid only shows.
TEST_F(RecordsTest, AfterInsertTheKeyboardIsInTheNewRecordsFirstField)
{
    struct Case
    {
        const char *page, *navigator, *focus;
        int column; // in the grid; -1: a bound box
        const char16_t *typed, *saved;
    };
    const Case cases[] = {
        {"customerPage", "customerNavigator", "customerGrid", 1, u"赵六",
         u"select count(*) from 客户表 where 客户名称 = '赵六'"},
        {"mailPage", "mailNavigator", "subjectEdit", -1, u"秋季", u"select count(*) from 邮件表 where 邮件主题 = '秋季'"},
        {"refusalPage", "refusalNavigator", "refusalGrid", -1, nullptr, nullptr},
    };
    open();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.page);
        auto *pages = control<PageTabs>("pages");
        pages->setCurrentWidget(control<QWidget>(c.page));
        // Elsewhere on the page first, as after a click on another control.
        auto *grid = pages->currentWidget()->findChild<RecordGrid *>();
        ASSERT_NE(grid, nullptr);
        grid->setFocus();
        grid->setCurrentIndex(grid->model()->index(0, grid->model()->columnCount() - 1));

        click(c.navigator, RecordNavigator::Insert);
        EXPECT_EQ(QApplication::focusWidget(), control<QWidget>(c.focus));
        if (auto *focusGrid = qobject_cast<RecordGrid *>(control<QWidget>(c.focus))) {
            const RecordView &view = *focusGrid->source()->view();
            EXPECT_EQ(focusGrid->currentIndex().row(), view.currentRow());
            const int expected = c.column >= 0 ? c.column : view.fieldIndex(QStringLiteral("电子邮件地址"));
            EXPECT_EQ(focusGrid->currentIndex().column(), expected);
        }
        if (c.typed) {
            type(QString::fromUtf16(c.typed));
            click(c.navigator, RecordNavigator::Post);
            EXPECT_EQ(db.scalar(QString::fromUtf16(c.saved)).toInt(), 1);
        } else {
            click(c.navigator, RecordNavigator::Cancel);
        }
    }

    // The grid's own Insert key starts the new record in its first field too, from any column.
    auto *grid = control<RecordGrid>("customerGrid");
    control<PageTabs>("pages")->setCurrentWidget(control<QWidget>("customerPage"));
    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(0, 3));
    QTest::keyClick(grid, Qt::Key_Insert);
    EXPECT_EQ(grid->currentIndex(), grid->model()->index(grid->model()->rowCount() - 1, 1));
}

} // namespace
