#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <exception>
#include <type_traits>

// Runs `work` on the thread of `window` and waits for it, handing back its result or its error.
// This is how the send run reads and changes controls: never directly from its own thread.
template <typename Work> auto onWindowThread(QObject *window, Work &&work) -> std::invoke_result_t<Work>
{
    using Result = std::invoke_result_t<Work>;
    if (QThread::currentThread() == window->thread())
        return work();

    std::exception_ptr error;
    if constexpr (std::is_void_v<Result>) {
        QMetaObject::invokeMethod(
            window,
            [&] {
                try {
                    work();
                } catch (...) {
                    error = std::current_exception();
                }
            },
            Qt::BlockingQueuedConnection);
        if (error)
            std::rethrow_exception(error);
    } else {
        Result result{};
        QMetaObject::invokeMethod(
            window,
            [&] {
                try {
                    result = work();
                } catch (...) {
                    error = std::current_exception();
                }
            },
            Qt::BlockingQueuedConnection);
        if (error)
            std::rethrow_exception(error);
        return result;
    }
}
