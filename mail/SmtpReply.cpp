#include "SmtpReply.h"

#include "MailError.h"

#include <limits>

namespace {

bool isDigits(QStringView text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

// The value of a run of decimal digits; one too large for the type saturates instead of wrapping.
uint digitsValue(QStringView digits)
{
    bool ok = false;
    const uint value = digits.toUInt(&ok);
    return ok ? value : std::numeric_limits<uint>::max();
}

} // namespace

QStringView trimControls(QStringView text)
{
    while (!text.isEmpty() && text.front().unicode() <= 32)
        text = text.sliced(1);
    while (!text.isEmpty() && text.back().unicode() <= 32)
        text.chop(1);
    return text;
}

QString trimControls(const QString &text)
{
    const QStringView trimmed = trimControls(QStringView(text));
    return trimmed.size() == text.size() ? text : trimmed.toString();
}

bool isLastReplyLine(const QString &line)
{
    return line.size() < 4 || line.at(3) == QLatin1Char(' ');
}

bool takeEnhancedCode(QString &text, EnhancedStatusCode &code)
{
    const qsizetype blank = text.indexOf(QLatin1Char(' '));
    const QStringView word = QStringView(text).left(blank < 0 ? text.size() : blank);
    // Three parts between two dots, found without making a list: most replies have no such code.
    const qsizetype firstDot = word.indexOf(u'.');
    const qsizetype secondDot = firstDot < 0 ? -1 : word.indexOf(u'.', firstDot + 1);
    if (secondDot < 0 || word.indexOf(u'.', secondDot + 1) >= 0)
        return false;
    const QStringView statusClass = word.left(firstDot);
    const QStringView subject = word.sliced(firstDot + 1, secondDot - firstDot - 1);
    const QStringView details = word.sliced(secondDot + 1);
    if (statusClass.isEmpty() || !QStringView(u"245").contains(statusClass.front()) || !isDigits(subject)
        || !isDigits(details))
        return false;

    // The class must begin with 2, 4 or 5; anything after that first digit that is not a digit
    // leaves just that digit as the class.
    code.statusClass = isDigits(statusClass) ? digitsValue(statusClass) : uint(statusClass.front().digitValue());
    code.subject = digitsValue(subject);
    code.details = digitsValue(details);
    code.available = true;
    text.remove(0, blank < 0 ? text.size() : blank + 1);
    return true;
}

bool canBeReplyLine(const QString &line)
{
    return line.size() >= 3 && isDigits(QStringView(line).left(3))
        && (line.size() == 3 || line.at(3) == QLatin1Char(' ') || line.at(3) == QLatin1Char('-'));
}

namespace {

// The code a reply line begins with, as the error names it.
QString codeOf(const QString &line)
{
    QStringView code = trimControls(QStringView(line).left(4));
    if (code.size() == 4 && code.back() == u'-')
        code.chop(1);
    return code.toString();
}

} // namespace

void raiseInvalidReplyCode(const QString &line)
{
    throw MailError(QStringLiteral("邮件服务器的回复无法识别，回复代码无效：%1").arg(codeOf(line)));
}

SmtpReply parseReply(const QStringList &lines)
{
    SmtpReply reply;
    const QString code = lines.isEmpty() ? QString() : codeOf(lines.first());
    const int numeric = isDigits(code) ? code.toInt() : 0;
    if (numeric < 100 || numeric > 999)
        raiseInvalidReplyCode(lines.isEmpty() ? QString() : lines.first());

    reply.code = code;
    reply.numericCode = numeric;
    for (const QString &line : lines) {
        QString text = line.mid(4);
        takeEnhancedCode(text, reply.enhancedCode);
        reply.text.append(text);
    }
    return reply;
}
