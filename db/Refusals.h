#pragma once

#include <QString>

struct Field;

// The user's words for the engine's refusal of a save ("CHECK constraint failed: 电子邮件地址超过254个字符"
// gives "电子邮件地址不能超过 254 个字符"). A text it does not know comes back as it is.
QString refusalText(const QString &engineText);

// A text over the most characters a field takes: "客户名称不能超过 100 个字符".
QString tooLongText(const QString &fieldName, int limit);

// Refuses (DatabaseError with tooLongText) a text with more characters than `field` takes. The
// limit is the field's width in the schema; characters count as the engine counts them (code
// points), so a text the engine would take is never refused here.
void checkLength(const Field &field, const QString &text);
