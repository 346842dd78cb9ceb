#pragma once

#include "shell/Exception.h"

// A failure of the database or of a record view. Engine failures carry the engine's own text
// ("CHECK constraint failed: 客户名称超过40个字符", "file is not a database"); the view's own
// refusals carry the fixed texts below.
class EDatabaseError : public Exception
{
public:
    using Exception::Exception;

    // Any row operation on a view that is not open.
    static EDatabaseError closedDataset()
    {
        return EDatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    }
    // A change of source or connection while the view is open.
    static EDatabaseError openDataset()
    {
        return EDatabaseError(QStringLiteral("Cannot perform this operation on an open dataset"));
    }
    static EDatabaseError fieldNotFound(const QString &name)
    {
        return EDatabaseError(QStringLiteral("Field '%1' not found").arg(name));
    }
};
