#include "DatabaseLocation.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QUrl>
#include <QUrlQuery>

namespace {

const QString DatabaseGroup = QStringLiteral("database");

// Whether the text carries a password, looked for before anything else so that no message ever
// repeats one: "user:secret@" before the host, or a password parameter.
bool carriesPassword(const QString &url)
{
    const qsizetype start = url.indexOf(QLatin1String("://"));
    if (start >= 0) {
        const qsizetype end = url.indexOf(QRegularExpression(QStringLiteral("[/?#]")), start + 3);
        const QString authority = url.mid(start + 3, end < 0 ? -1 : end - start - 3);
        const qsizetype at = authority.lastIndexOf(u'@');
        if (at >= 0 && authority.left(at).contains(u':'))
            return true;
    }
    const qsizetype question = url.indexOf(u'?');
    if (question < 0)
        return false;
    const QUrlQuery query(url.mid(question + 1));
    const auto items = query.queryItems(QUrl::FullyDecoded);
    return std::any_of(items.begin(), items.end(), [](const auto &item) {
        return item.first.compare(QLatin1String("password"), Qt::CaseInsensitive) == 0;
    });
}

int portNumber(const QString &url, const QString &text)
{
    bool ok = false;
    const int port = text.toInt(&ok);
    if (!ok || port < 1 || port > 65535)
        throw DatabaseSettingError::badUrl(url, QStringLiteral("端口“%1”不是 1 到 65535 之间的数").arg(text));
    return port;
}

} // namespace

QString DatabaseLocation::text() const
{
    if (engine == Engine::Sqlite)
        return file;
    QUrl url;
    url.setScheme(QStringLiteral("postgresql"));
    QUrlQuery query;
    // A user before an empty host would read "postgresql:////user@/name", which names no database:
    // beside a socket directory the user goes into the query too, as libpq takes it.
    if (host.startsWith(u'/')) {
        query.addQueryItem(QStringLiteral("host"), host);
        if (!user.isEmpty())
            query.addQueryItem(QStringLiteral("user"), user);
    } else {
        url.setHost(host);
        url.setUserName(user);
    }
    if (port != 5432 || !url.host().isEmpty())
        url.setPort(port);
    url.setPath(u'/' + databaseName);
    for (const QString &option : options)
        query.addQueryItem(option.section(u'=', 0, 0), option.section(u'=', 1));
    url.setQuery(query);
    // An empty host still shows as "postgresql:///name".
    QString text = url.toString(QUrl::PrettyDecoded);
    if (url.host().isEmpty() && !text.startsWith(QLatin1String("postgresql:///")))
        text.replace(0, qsizetype(sizeof("postgresql:") - 1), QStringLiteral("postgresql://"));
    return text;
}

DatabaseLocation parseDatabaseUrl(const QString &url)
{
    if (carriesPassword(url))
        throw DatabaseSettingError::passwordGiven();
    const QString given = url.trimmed();
    const QUrl parsed(given, QUrl::StrictMode);
    if (!parsed.isValid())
        throw DatabaseSettingError::badUrl(given, QStringLiteral("格式不正确"));
    const QString scheme = parsed.scheme().toLower();
    if (scheme != QLatin1String("postgresql") && scheme != QLatin1String("postgres"))
        throw DatabaseSettingError::badUrl(given, QStringLiteral("只支持 postgresql:// 开头的地址"));
    if (parsed.hasFragment())
        throw DatabaseSettingError::badUrl(given, QStringLiteral("地址中不能有“#”"));

    DatabaseLocation location;
    location.engine = Engine::Postgres;
    location.file.clear();
    location.host = parsed.host(QUrl::FullyDecoded);
    location.user = parsed.userName(QUrl::FullyDecoded);
    if (parsed.port() != -1)
        location.port = portNumber(given, QString::number(parsed.port()));
    const QString path = parsed.path(QUrl::FullyDecoded);
    location.databaseName = path.mid(1);

    const QUrlQuery query(parsed);
    for (const auto &[key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (key == QLatin1String("host"))
            location.host = value;
        else if (key == QLatin1String("port"))
            location.port = portNumber(given, value);
        else if (key == QLatin1String("user"))
            location.user = value;
        else if (key == QLatin1String("dbname"))
            location.databaseName = value;
        else if (key == QLatin1String("sslmode") || key == QLatin1String("connect_timeout")
                 || key == QLatin1String("application_name")) {
            // Qt hands the options to libpq separated by ";".
            if (value.contains(u';'))
                throw DatabaseSettingError::badUrl(given, QStringLiteral("参数“%1”的值不能含“;”").arg(key));
            location.options.append(key + u'=' + value);
        } else
            throw DatabaseSettingError::badUrl(given, QStringLiteral("不认识的参数“%1”").arg(key));
    }
    if (location.databaseName.isEmpty() || location.databaseName.contains(u'/'))
        throw DatabaseSettingError::badUrl(given, QStringLiteral("缺少数据库名"));
    return location;
}

std::optional<QString> databaseUrlArgument(const QStringList &arguments)
{
    const QString option = QStringLiteral("--database");
    std::optional<QString> url;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (argument == option) {
            if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty())
                throw DatabaseSettingError::missingArgument();
            url = arguments[++i];
        } else if (argument.startsWith(option + u'=')) {
            url = argument.mid(option.size() + 1);
            if (url->isEmpty())
                throw DatabaseSettingError::missingArgument();
        }
    }
    return url;
}

std::optional<QString> databaseUrlInIni(const QString &iniPath)
{
    if (!QFileInfo::exists(iniPath))
        return std::nullopt;
    QSettings ini(iniPath, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError)
        throw DatabaseSettingError::unreadableIni(iniPath);
    ini.beginGroup(DatabaseGroup);
    const QStringList keys = ini.childKeys();
    if (std::any_of(keys.begin(), keys.end(), [](const QString &key) {
            return key.compare(QLatin1String("password"), Qt::CaseInsensitive) == 0;
        }))
        throw DatabaseSettingError::passwordGiven();
    const QVariant value = ini.value(QStringLiteral("url"));
    if (!value.isValid())
        return std::nullopt;
    // An unquoted value with commas reads as a list; the URL is the whole line.
    const QString url = value.typeId() == QMetaType::QStringList ? value.toStringList().join(u',') : value.toString();
    if (url.trimmed().isEmpty())
        return std::nullopt;
    return url;
}

DatabaseLocation chooseDatabaseLocation(const std::optional<QString> &commandLineUrl,
                                        const std::optional<QString> &iniUrl)
{
    if (commandLineUrl)
        return parseDatabaseUrl(*commandLineUrl);
    if (iniUrl)
        return parseDatabaseUrl(*iniUrl);
    return {};
}
