#pragma once

#include <QString>
#include <QStringView>

#include <functional>

namespace sqltext {

// The statement with each stretch of its code replaced by what `code` makes of it; quoted text
// ('…' literals, "…" names) and "--" comments stay as they are, so a rewrite of names or
// parameters never reaches into them. `code` gets the stretches in order.
QString mapCode(const QString &sql, const std::function<QString(QStringView)> &code);

// A letter, a digit or "_": what a name or a parameter's name is made of.
inline bool isNameCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

} // namespace sqltext
