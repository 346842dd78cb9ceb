#pragma once

#include "Clock.h"
#include "MailErrors.h"
#include "MailMessage.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>

#include <functional>
#include <string>

// A clock that always tells the same moment.
class FixedClock : public Clock
{
public:
    explicit FixedClock(QDateTime moment)
        : m_moment(std::move(moment))
    {
    }
    QDateTime now() const override { return m_moment; }

private:
    QDateTime m_moment;
};

// 3 September 2012, 14:05:09, eight hours east of UTC.
inline QDateTime sampleMoment(int offsetSeconds = 8 * 3600)
{
    return QDateTime(QDate(2012, 9, 3), QTime(14, 5, 9), Qt::OffsetFromUTC, offsetSeconds);
}

inline QLocale chinaLocale()
{
    return QLocale(QLocale::Chinese, QLocale::China);
}

// What became of one call, in a form a table can state: "ok", "reply <code>", "socket <errno>",
// "closed", "not connected", or another error's message.
inline std::string outcome(const std::function<void()> &call)
{
    try {
        call();
        return "ok";
    } catch (const SmtpReplyError &e) {
        return "reply " + std::to_string(e.errorCode);
    } catch (const SocketError &e) {
        return "socket " + std::to_string(e.lastError);
    } catch (const ConnectionClosedError &) {
        return "closed";
    } catch (const NotConnectedError &) {
        return "not connected";
    } catch (const MailError &e) {
        return e.message().toStdString();
    }
}
