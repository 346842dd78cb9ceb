#pragma once

#include <exception>
#include <functional>

class QWidget;

namespace boxes {

// Shows an error that escaped a handler on the window's thread in the error box.
void showEscapedError(QWidget *parent, std::exception_ptr error);

// Runs one handler of the window; an error escaping it is shown in the error box and goes no
// further. Handlers connected to the toolkit's signals run through here, so their errors never
// unwind through the toolkit's own code, which is built without exception support.
void runHandler(QWidget *parent, const std::function<void()> &handler);

// The handler wrapped for connect(): arguments of the signal are dropped.
template <class Handler> auto guarded(QWidget *parent, Handler handler)
{
    return [parent, handler](auto &&...) { runHandler(parent, handler); };
}

} // namespace boxes
