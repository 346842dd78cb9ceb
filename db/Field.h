#pragma once

#include <QString>

// What a column holds, as the views and the bound controls see it. Taken from the column's
// declared type in the schema; a column computed by a statement is read-only.
enum class FieldKind {
    Unknown,
    AutoIncrement, // the automatic number: INTEGER PRIMARY KEY
    Integer,
    Float,
    String, // text of at most Size characters (Size 0: no limit)
    Memo, // long text
    DateTime, // stored as local ISO text with milliseconds, read as QDateTime
    Blob,
};

struct Field
{
    QString fieldName;
    FieldKind kind = FieldKind::Unknown;
    int size = 0;
    bool readOnly = false;
};

// Field names compare without regard to the case of Latin letters: "客户id" names 客户ID.
bool sameFieldName(const QString &a, const QString &b);
