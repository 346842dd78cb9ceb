// The send run without the window: a real db.mdb, the run's own signals gathered as it emits them,
// and a server on loopback (or none). Pauses are scaled down, so no test waits for the clock.
#include "SendRun.h"
#include "SendRunInputs.h"

#include "Printers.h"
#include "TempDatabase.h"

#include <gtest/gtest.h>

#include <array>
#include <mutex>
#include <optional>

namespace {

using namespace std::chrono_literals;

// What a run reported, gathered on its own thread.
struct Reports
{
    std::optional<QString> completed;
    std::optional<QString> failed;
    // The last counts: sent, failed, total.
    std::optional<std::array<int, 3>> progress;
    int finished = 0;
};

class SendRunJobTest : public ::testing::Test
{
protected:
    // Three customers, two mails (the second is chosen), the account's boxes on the given server.
    void seed(const QString &server)
    {
        db.exec(QStringLiteral("insert into 客户表(客户名称, 电子邮件地址) values('张三', 'zhang@example.test');"
                               "insert into 客户表(客户名称, 电子邮件地址) values('李四', 'li@example.test');"
                               "insert into 客户表(客户名称, 电子邮件地址) values('王五', 'wang@example.test');"
                               "insert into 邮件表(邮件主题, 邮件内容) values('旧邮件', '旧');"
                               "insert into 邮件表(邮件主题, 邮件内容) values('新品介绍', '第一行\n第二行');"));
        inputs.setAccount({server, QString(), QString()});
        inputs.setSender({QStringLiteral("销售部"), QStringLiteral("sales@example.test")});
        inputs.setMailChoice(QStringLiteral("2"));
        inputs.setPauseChoice(QStringLiteral("0"));
    }

    // Runs to its end (the run's destructor joins it) and gives what it reported.
    Reports run()
    {
        Reports reports;
        std::mutex mutex;
        {
            SendRun job(inputs, db.path(), limits);
            QObject::connect(&job, &SendRun::completed, [&](const QString &summary) {
                std::lock_guard lock(mutex);
                reports.completed = summary;
            });
            QObject::connect(&job, &SendRun::failed, [&](const QString &message) {
                std::lock_guard lock(mutex);
                reports.failed = message;
            });
            QObject::connect(&job, &SendRun::progressed, [&](int sent, int failed, int total) {
                std::lock_guard lock(mutex);
                reports.progress = {sent, failed, total};
            });
            QObject::connect(&job, &SendRun::finished, [&] {
                std::lock_guard lock(mutex);
                ++reports.finished;
            });
            job.start();
        }
        return reports;
    }

    int recordCount() const { return db.scalar(QStringLiteral("select count(*) from 发送情况")).toInt(); }

    testsupport::TempDatabase db;
    SendRunInputs inputs;
    SendRunLimits limits{.serverWait = 5s, .pauseSecond = 1ms};
};

// An empty server box: the session refuses to connect with an error whose text is empty. The run
// still ends as failed, so that the window shows its box and gives the controls back.
TEST_F(SendRunJobTest, AnEmptyServerBoxEndsTheRunAsFailed)
{
    seed(QString());
    const Reports reports = run();
    EXPECT_EQ(reports.failed, QString());
    EXPECT_EQ(reports.completed, std::nullopt);
    EXPECT_EQ(reports.finished, 1);
    EXPECT_EQ(recordCount(), 0);
}

} // namespace
