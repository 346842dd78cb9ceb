#pragma once

#include <QString>

struct Field;

// The user's words for the engine's refusal of a save ("CHECK constraint failed: 电子邮件地址超过254个字符"
// gives "电子邮件地址不能超过 254 个字符"), the same for a file's text and for a server's (`new row for
// relation "客户表" violates check constraint "电子邮件地址超过254个字符"`: the constraints have the
// same names). With the server's SQLSTATE the kind comes from it and the names from the quoted words
// of the message, so a server speaking another language reads the same. A text it does not know
// comes back as it is.
QString refusalText(const QString &engineText, const QString &sqlState = {});

// A text over the most characters a field takes: "客户名称不能超过 100 个字符".
QString tooLongText(const QString &fieldName, int limit);

// Refuses (DatabaseError with tooLongText) a text with more characters than `field` takes. The
// limit is the field's width in the schema; characters count as the engine counts them (code
// points), so a text the engine would take is never refused here.
void checkLength(const Field &field, const QString &text);
