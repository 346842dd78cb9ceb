#pragma once

#include <QString>

// What a column holds, as the views and the bound controls see it. Taken from the column's
// declared type in the schema; a column computed by a statement is read-only.
enum class TFieldKind {
    ftUnknown,
    ftAutoInc,    // the automatic number: INTEGER PRIMARY KEY
    ftInteger,
    ftFloat,
    ftWideString, // text of at most Size characters (Size 0: no limit)
    ftWideMemo,   // long text
    ftDateTime,   // stored as local ISO text with milliseconds, read as QDateTime
    ftBlob,
};

struct TField
{
    QString FieldName;
    TFieldKind Kind = TFieldKind::ftUnknown;
    int Size = 0;
    bool ReadOnly = false;
};

// Field names compare without regard to the case of Latin letters: "客户id" names 客户ID.
bool sameFieldName(const QString &a, const QString &b);
