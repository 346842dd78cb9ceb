// The mail page's file through the real window: chosen through the file dialog's seam, kept or
// dropped with the record, refused over the limit.
#include "WindowFixture.h"

#include "AttachmentControls.h"
#include "Controls.h"
#include "OpenDialog.h"
#include "RecordGrid.h"
#include "RecordNavigator.h"
#include "StoredAttachment.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>

namespace {

using testsupport::TempDatabase;

class AttachmentPageTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        db.exec(QStringLiteral("insert into 邮件表(邮件主题, 邮件内容) values('价目表', '见附件');"
                               "insert into 邮件表(邮件主题, 邮件内容) values('问候', '你好')"));
        open();
        control<PageTabs>("pages")->setCurrentIndex(1);
    }

    QString writeFile(const QString &name, const QByteArray &content) const
    {
        const QString path = QDir(db.dir()).filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }

    void choose(const QString &path)
    {
        dialog.queueFileName(path);
        QTest::mouseClick(control<QPushButton>("addAttachmentButton"), Qt::LeftButton);
    }
    void click(RecordNavigator::Button button) { control<RecordNavigator>("mailNavigator")->click(button); }
    QString label() const { return control<QLabel>("attachmentLabel")->text(); }
    TempDatabase::Rows stored() const
    {
        return db.rows(QStringLiteral("select 附件名称, 附件内容 from 邮件表 where 邮件ID = 1"));
    }
    RecordView &mails() const { return form->views().mails; }

    OpenDialogAnswers dialog;
};

TEST_F(AttachmentPageTest, AChosenFileFollowsTheRecord)
{
    EXPECT_EQ(label(), QStringLiteral("无附件"));
    EXPECT_FALSE(control<QPushButton>("removeAttachmentButton")->isEnabled());
    QByteArray bytes(1536, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7);
    const QString path = writeFile(QStringLiteral("价目表.pdf"), bytes);
    const TempDatabase::Rows none{{QVariant(), QVariant()}};

    // Chosen and given up: the record is as it was.
    choose(path);
    EXPECT_EQ(mails().state(), RecordView::State::Editing);
    EXPECT_EQ(label(), QStringLiteral("附件：价目表.pdf（1.5 KB）"));
    EXPECT_EQ(stored(), none);
    click(RecordNavigator::Cancel);
    EXPECT_EQ(mails().state(), RecordView::State::Browsing);
    EXPECT_EQ(label(), QStringLiteral("无附件"));
    EXPECT_EQ(stored(), none);

    // Chosen and saved: the file's name and exact bytes, which the other mail does not carry.
    choose(path);
    click(RecordNavigator::Post);
    EXPECT_EQ(stored(), TempDatabase::Rows({{QStringLiteral("价目表.pdf"), bytes}}));
    EXPECT_EQ(label(), QStringLiteral("附件：价目表.pdf（1.5 KB）"));
    EXPECT_TRUE(control<QPushButton>("removeAttachmentButton")->isEnabled());
    click(RecordNavigator::Next);
    EXPECT_EQ(label(), QStringLiteral("无附件"));
    click(RecordNavigator::Prior);
    EXPECT_EQ(label(), QStringLiteral("附件：价目表.pdf（1.5 KB）"));

    // Deleted: the label says so at once, the record loses the file when saved, and a cancel
    // before that keeps it.
    QTest::mouseClick(control<QPushButton>("removeAttachmentButton"), Qt::LeftButton);
    EXPECT_EQ(label(), QStringLiteral("无附件"));
    click(RecordNavigator::Cancel);
    EXPECT_EQ(label(), QStringLiteral("附件：价目表.pdf（1.5 KB）"));
    QTest::mouseClick(control<QPushButton>("removeAttachmentButton"), Qt::LeftButton);
    click(RecordNavigator::Post);
    EXPECT_EQ(stored(), none);
    EXPECT_EQ(label(), QStringLiteral("无附件"));

    // The grid shows the mails' own columns, never the file's.
    QAbstractItemModel *model = control<RecordGrid>("mailGrid")->model();
    QStringList headers;
    for (int column = 0; column < model->columnCount(); ++column)
        headers.append(model->headerData(column, Qt::Horizontal).toString());
    EXPECT_EQ(headers, QStringList({QStringLiteral("邮件ID"), QStringLiteral("邮件主题"), QStringLiteral("邮件内容"),
                                    QStringLiteral("建立日期"), QStringLiteral("广告")}));
    EXPECT_TRUE(boxes.takeShown().isEmpty());
}

TEST_F(AttachmentPageTest, AFileOverTheLimitIsRefusedAndChangesNothing)
{
    const QString path = QDir(db.dir()).filePath(QStringLiteral("目录.zip"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(MaxAttachmentSize + 1));
    }
    choose(path);
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, QStringLiteral("附件不能超过 20 MB：大多数邮件服务器拒收超过 25–50 MB 的邮件，而编码后的附件会大三分之一。"));
    EXPECT_EQ(mails().state(), RecordView::State::Browsing);
    EXPECT_EQ(label(), QStringLiteral("无附件"));
    EXPECT_EQ(stored(), TempDatabase::Rows({{QVariant(), QVariant()}}));

    // A file of the limit itself goes.
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.resize(MaxAttachmentSize));
    }
    choose(path);
    click(RecordNavigator::Post);
    EXPECT_EQ(db.scalar(QStringLiteral("select length(附件内容) from 邮件表 where 邮件ID = 1")).toLongLong(),
              MaxAttachmentSize);
    EXPECT_EQ(label(), QStringLiteral("附件：目录.zip（20.0 MB）"));
    EXPECT_TRUE(boxes.takeShown().isEmpty());
}

TEST(AttachmentLabel, SizesReadInTheirUnit)
{
    const struct
    {
        qint64 size;
        const char16_t *text;
    } cases[] = {
        {0, u"附件：a.txt（0 字节）"},
        {1023, u"附件：a.txt（1023 字节）"},
        {1536, u"附件：a.txt（1.5 KB）"},
        {1258291, u"附件：a.txt（1.2 MB）"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(attachmentLabelText(QStringLiteral("a.txt"), c.size), QString::fromUtf16(c.text)) << c.size;
}

} // namespace
