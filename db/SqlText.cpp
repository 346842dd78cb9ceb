#include "SqlText.h"

namespace sqltext {

QString mapCode(const QString &sql, const std::function<QString(QStringView)> &code)
{
    QString out;
    out.reserve(sql.size() + 16);
    qsizetype from = 0; // where the code under way began
    qsizetype i = 0;
    while (i < sql.size()) {
        const QChar c = sql[i];
        qsizetype end = -1; // the end of the quoted text or comment starting at i
        if (c == u'\'' || c == u'"') {
            end = sql.indexOf(c, i + 1);
            end = end < 0 ? sql.size() : end + 1;
        } else if (c == u'-' && i + 1 < sql.size() && sql[i + 1] == u'-') {
            end = sql.indexOf(u'\n', i);
            end = end < 0 ? sql.size() : end;
        }
        if (end < 0) {
            ++i;
            continue;
        }
        out += code(QStringView(sql).mid(from, i - from));
        out += QStringView(sql).mid(i, end - i);
        from = i = end;
    }
    out += code(QStringView(sql).mid(from));
    return out;
}

} // namespace sqltext
