#include "Startup.h"

#include "MessageBoxes.h"

namespace shell {

bool refuseSecondInstance(SingleInstanceGuard &guard)
{
    if (guard.tryAcquire())
        return false;
    showMessage(nullptr, QStringLiteral("//你已经打开了软件//"));
    return true;
}

} // namespace shell
