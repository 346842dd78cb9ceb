#pragma once

#include "Error.h"

// A failure of the database or of a record view. Engine failures carry the engine's own text
// ("CHECK constraint failed: 客户名称超过100个字符", "file is not a database"), except a view's
// refused save, which carries it in the user's words (refusalText); the view's own refusals carry
// the fixed texts below, in the user's words as every text the window shows.
class DatabaseError : public Error
{
public:
    using Error::Error;
    // A server's failure with its SQLSTATE ("23514"), which says what kind of failure it is in any
    // language the server speaks.
    DatabaseError(QString message, QString sqlState)
        : Error(std::move(message))
        , m_sqlState(std::move(sqlState))
    {
    }

    // The server's SQLSTATE; empty for a file's failures (SQLite's code is the connection's) and
    // the view's own.
    const QString &sqlState() const noexcept { return m_sqlState; }

    // Any row operation on a view that is not open.
    static DatabaseError closedDataset()
    {
        return DatabaseError(QStringLiteral("数据没有打开，无法进行这项操作"));
    }
    // A change of source or connection while the view is open.
    static DatabaseError openDataset()
    {
        return DatabaseError(QStringLiteral("数据已经打开，无法进行这项操作"));
    }
    static DatabaseError fieldNotFound(const QString &name)
    {
        return DatabaseError(QStringLiteral("找不到字段“%1”").arg(name));
    }
    // A change asked of a view that only shows (the send records).
    static DatabaseError readOnlyDataset() { return DatabaseError(QStringLiteral("这些记录只能查看，不能修改")); }
    // A delete with no record shown.
    static DatabaseError emptyDataset() { return DatabaseError(QStringLiteral("没有记录，无法进行这项操作")); }
    // The record to save or delete is no longer in the file as the view read it.
    static DatabaseError rowNotFound()
    {
        return DatabaseError(QStringLiteral("找不到这条记录，它可能已被删除或修改，请刷新后再试"));
    }

private:
    QString m_sqlState;
};
