// The boxes and dialogs as the user meets them, really shown (no recorder): their titles, buttons
// and labels read Chinese, whatever the machine's locale.
#include "EnglishWords.h"
#include "MessageBoxes.h"
#include "OpenDialog.h"
#include "Printers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>

namespace {

struct SeenBox
{
    QString title;
    QStringList buttons; // in the order the box lays them out, left to right
};

// Shows a box through `show` and reads it while it is up, then closes it with Escape.
SeenBox seeWhileShown(const std::function<void()> &show)
{
    SeenBox seen;
    bool found = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget *box = QApplication::activeModalWidget();
        if (!box || found)
            return;
        found = true;
        seen.title = box->windowTitle();
        QList<QAbstractButton *> buttons;
        for (QAbstractButton *button : box->findChildren<QAbstractButton *>())
            if (button->isVisible() && !qobject_cast<QToolButton *>(button))
                buttons << button;
        std::sort(buttons.begin(), buttons.end(), [](const QAbstractButton *a, const QAbstractButton *b) {
            return a->mapToGlobal(QPoint()).x() < b->mapToGlobal(QPoint()).x();
        });
        for (const QAbstractButton *button : buttons)
            seen.buttons << button->text().remove(QLatin1Char('&'));
        QTest::keyClick(box, Qt::Key_Escape);
    });
    poll.start(10);
    show();
    EXPECT_TRUE(found) << "no box came up";
    return seen;
}

struct BoxCase
{
    const char *name;
    std::function<void()> show;
    QStringList buttons; // with a box's tick, as a set: the layout orders them by the platform's rules
};

TEST(BoxTexts, EveryBoxIsTitledAndAnsweredInChinese)
{
    const QString title = QStringLiteral("邮件发送工具");
    const BoxCase cases[] = {
        {"message", [] { boxes::showMessage(nullptr, QStringLiteral("已导出 2 条记录。")); }, {QStringLiteral("确定")}},
        {"error", [] { boxes::showError(nullptr, QStringLiteral("服务器关闭了连接")); }, {QStringLiteral("确定")}},
        {"confirmation", [] { boxes::confirm(nullptr, QStringLiteral("删除当前记录？")); },
         {QStringLiteral("确定"), QStringLiteral("取消")}},
        {"yes or no", [] { boxes::askYesNo(nullptr, QStringLiteral("是否再次发送？")); },
         {QStringLiteral("是"), QStringLiteral("否")}},
        {"trust", [] { boxes::askToTrust(nullptr, QStringLiteral("服务器证书的签发者不受信任"), true); },
         {QStringLiteral("信任此证书"), QStringLiteral("取消")}},
        {"save", [] { boxes::askToSave(nullptr, QStringLiteral("是否保存？")); },
         {QStringLiteral("保存"), QStringLiteral("不保存"), QStringLiteral("取消")}},
        {"text", [] { boxes::askText(nullptr, QStringLiteral("测试邮件的收件地址："), QString()); },
         {QStringLiteral("确定"), QStringLiteral("取消")}},
        {"yes or no with a tick",
         [] {
             bool ticked = false;
             boxes::askYesNoWithCheck(nullptr, QStringLiteral("现在开始发送吗？"), QStringLiteral("也发送给这 1 位客户"), ticked);
         },
         {QStringLiteral("是"), QStringLiteral("否"), QStringLiteral("也发送给这 1 位客户")}},
        {"import summary", [] { boxes::askToImport(nullptr, QStringLiteral("将导入 2 位客户。"), true); },
         {QStringLiteral("导入"), QStringLiteral("取消"), QStringLiteral("导入重复地址")}},
        {"import report", [] { boxes::showImportReport(nullptr, QStringLiteral("导入 2 位客户；跳过 1 行"), true); },
         {QStringLiteral("确定"), QStringLiteral("保存跳过的行…")}},
    };
    for (const BoxCase &c : cases) {
        const SeenBox seen = seeWhileShown(c.show);
        EXPECT_EQ(seen.title, title) << c.name;
        QStringList buttons = seen.buttons;
        QStringList expected = c.buttons;
        buttons.sort();
        expected.sort();
        EXPECT_EQ(buttons, expected) << c.name;
        EXPECT_EQ(englishWords(seen.title + seen.buttons.join(QLatin1Char(' '))), QStringList()) << c.name;
    }
}

// The file dialogs: their title, labels, buttons and the tool buttons' tips. The labels and buttons
// are set by the program; the rest comes from Qt's own Chinese translation, which start-up loads.
TEST(BoxTexts, FileDialogsReadChinese)
{
    for (const auto purpose : {OpenDialog::Purpose::Open, OpenDialog::Purpose::Save}) {
        OpenDialog dialog(nullptr, purpose);
        dialog.filter = QStringLiteral("Excel 工作簿 (*.xlsx)|*.xlsx");
        const std::unique_ptr<QFileDialog> shown = dialog.makeDialog();
        shown->show();
        EXPECT_EQ(shown->windowTitle(), QStringLiteral("邮件发送工具"));
        QStringList texts;
        for (const QAbstractButton *button : shown->findChildren<QAbstractButton *>()) {
            if (!button->isVisible())
                continue;
            texts << button->text().remove(QLatin1Char('&')) << button->toolTip();
        }
        for (const QLabel *label : shown->findChildren<QLabel *>()) {
            if (label->isVisible())
                texts << label->text();
        }
        EXPECT_TRUE(texts.contains(purpose == OpenDialog::Purpose::Save ? QStringLiteral("保存") : QStringLiteral("打开")));
        EXPECT_TRUE(texts.contains(QStringLiteral("取消")));
        EXPECT_EQ(englishWords(texts.join(QLatin1Char(' '))), QStringList()) << texts.join(QLatin1Char('|')).toStdString();
        shown->reject();
    }
}

} // namespace
