#include "update/updatereply.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

QString announcedVersion(const QByteArray &body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return QString();
    const QJsonObject reply = document.object();
    if (!reply.contains(QLatin1String("data")))
        return QString();
    const QJsonObject data = reply.value(QLatin1String("data")).toObject();
    const QJsonValue version = data.value(QLatin1String("version"));
    if (!version.isString())
        return QString();
    // An empty string is still a string; keep it apart from "none".
    const QString text = version.toString();
    return text.isNull() ? QStringLiteral("") : text;
}

bool isNewerThanRunning(const QString &version)
{
    return version > QLatin1String(runningVersion);
}
