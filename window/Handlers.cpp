#include "Handlers.h"

#include "Error.h"
#include "MessageBoxes.h"

namespace boxes {

void showEscapedError(QWidget *parent, std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const Error &e) {
        showError(parent, e.message());
    } catch (const std::exception &e) {
        showError(parent, QString::fromUtf8(e.what()));
    }
}

void runHandler(QWidget *parent, const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const std::exception &) {
        showEscapedError(parent, std::current_exception());
    }
}

} // namespace boxes
