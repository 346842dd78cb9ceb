#include "Startup.h"

#include "MessageBoxes.h"

namespace app {

bool refuseSecondInstance(SingleInstanceGuard &guard)
{
    if (guard.tryAcquire())
        return false;
    boxes::showMessage(nullptr, QStringLiteral("//你已经打开了软件//"));
    return true;
}

} // namespace app
