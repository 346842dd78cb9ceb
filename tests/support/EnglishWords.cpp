#include "EnglishWords.h"

#include <QRegularExpression>

QStringList englishWords(const QString &text)
{
    static const QRegularExpression word(QStringLiteral("[A-Za-z]{2,}"));
    QStringList words;
    for (auto it = word.globalMatch(text); it.hasNext();) {
        const QString found = it.next().captured();
        if (found != QLatin1String("KB") && found != QLatin1String("MB"))
            words << found;
    }
    return words;
}
