#pragma once

#include "Error.h"

// A failure of the database or of a record view. Engine failures carry the engine's own text
// ("CHECK constraint failed: 客户名称超过100个字符", "file is not a database"), except a view's
// refused save, which carries it in the user's words (refusalText); the view's own refusals carry
// the fixed texts below.
class DatabaseError : public Error
{
public:
    using Error::Error;

    // Any row operation on a view that is not open.
    static DatabaseError closedDataset()
    {
        return DatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    }
    // A change of source or connection while the view is open.
    static DatabaseError openDataset()
    {
        return DatabaseError(QStringLiteral("Cannot perform this operation on an open dataset"));
    }
    static DatabaseError fieldNotFound(const QString &name)
    {
        return DatabaseError(QStringLiteral("Field '%1' not found").arg(name));
    }
};
