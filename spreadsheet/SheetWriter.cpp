#include "SheetWriter.h"

#include "CsvSheetWriter.h"
#include "XlsxSheetWriter.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

std::optional<SheetFormat> sheetFormatFor(const QString &fileName)
{
    if (fileName.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive))
        return SheetFormat::Xlsx;
    if (fileName.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return SheetFormat::Csv;
    return std::nullopt;
}

std::unique_ptr<SheetWriter> createSheetWriter(SheetFormat format, const QString &path, const QString &sheetName)
{
    switch (format) {
    case SheetFormat::Xlsx: return std::make_unique<XlsxSheetWriter>(path, sheetName);
    case SheetFormat::Csv: return std::make_unique<CsvSheetWriter>(path);
    }
    return nullptr;
}

namespace {

class ExportThread
{
public:
    static ExportThread &instance()
    {
        // Never destroyed: the thread waits for work until the program ends.
        static ExportThread *const thread = new ExportThread;
        return *thread;
    }

    std::future<void> post(std::function<void()> job)
    {
        std::packaged_task<void()> task(std::move(job));
        std::future<void> done = task.get_future();
        {
            std::lock_guard lock(m_mutex);
            m_jobs.push_back(std::move(task));
        }
        m_wake.notify_one();
        return done;
    }

private:
    ExportThread()
    {
        std::thread([this] {
            for (;;) {
                std::packaged_task<void()> task;
                {
                    std::unique_lock lock(m_mutex);
                    m_wake.wait(lock, [this] { return !m_jobs.empty(); });
                    task = std::move(m_jobs.front());
                    m_jobs.pop_front();
                }
                task();
            }
        }).detach();
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::packaged_task<void()>> m_jobs;
};

} // namespace

std::future<void> postToSheetWriterThread(std::function<void()> job)
{
    return ExportThread::instance().post(std::move(job));
}
