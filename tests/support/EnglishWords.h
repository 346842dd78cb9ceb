#pragma once

#include <QStringList>

// The words of ASCII letters in a text the user reads: English, which the user should not meet
// (units such as KB and MB read the same in Chinese texts and are left out).
QStringList englishWords(const QString &text);
