#include "app/customcommands.h"

#include "platform/smallfile.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QUrl>

namespace customcommands {

namespace {

const CustomAction::Kind kinds[] = {CustomAction::Kind::WebAddress, CustomAction::Kind::Folder,
                                    CustomAction::Kind::File};

std::optional<CustomAction::Kind> kindNamed(const QString &name)
{
    for (const CustomAction::Kind kind : kinds)
        if (typeName(kind) == name)
            return kind;
    return std::nullopt;
}

std::optional<CustomCommand> parseCommand(const QJsonValue &value)
{
    const QJsonObject object = value.toObject();
    const QJsonValue word = object.value(QLatin1String("word"));
    const QJsonArray actions = object.value(QLatin1String("actions")).toArray();
    if (!word.isString() || word.toString().isEmpty() || actions.isEmpty() ||
        actions.size() > maxActions)
        return std::nullopt;
    CustomCommand command{word.toString(), {}};
    for (const QJsonValue &action : actions) {
        const QJsonValue type = action.toObject().value(QLatin1String("type"));
        const QJsonValue target = action.toObject().value(QLatin1String("target"));
        const std::optional<CustomAction::Kind> kind = kindNamed(type.toString());
        if (!kind || !target.isString() || target.toString().isEmpty())
            return std::nullopt;
        command.actions.append({*kind, target.toString()});
    }
    return command;
}

} // namespace

QString typeName(CustomAction::Kind kind)
{
    switch (kind) {
    case CustomAction::Kind::WebAddress:
        return QStringLiteral("url");
    case CustomAction::Kind::Folder:
        return QStringLiteral("folder");
    case CustomAction::Kind::File:
        return QStringLiteral("file");
    }
    return QString();
}

QString displayName(CustomAction::Kind kind)
{
    switch (kind) {
    case CustomAction::Kind::WebAddress:
        return QStringLiteral("网址");
    case CustomAction::Kind::Folder:
        return QStringLiteral("文件夹");
    case CustomAction::Kind::File:
        return QStringLiteral("文件");
    }
    return QString();
}

bool isOpenable(const CustomAction &action)
{
    const QFileInfo path(action.target);
    switch (action.kind) {
    case CustomAction::Kind::WebAddress:
        return webAddress(action.target) == action.target;
    case CustomAction::Kind::Folder:
        return path.isAbsolute() && path.isDir();
    case CustomAction::Kind::File:
        return path.isAbsolute() && path.isFile();
    }
    return false;
}

bool isSpeakable(const QString &word)
{
    return !word.trimmed().isEmpty();
}

QString webAddress(const QString &typed)
{
    const QString text = typed.trimmed();
    if (text.isEmpty() || text.contains(QRegularExpression(QStringLiteral("\\s"))))
        return QString();
    const QUrl url = QUrl::fromUserInput(text);
    const QString host = url.host();
    if (!url.isValid() ||
        (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")))
        return QString();
    const bool named = host.contains(QLatin1Char('.')) && !host.startsWith(QLatin1Char('.')) &&
                       !host.endsWith(QLatin1Char('.'));
    if (!named && host != QLatin1String("localhost") && QHostAddress(host).isNull())
        return QString();
    return url.toString();
}

QByteArray serialise(const CustomCommandList &commands)
{
    QJsonArray list;
    for (const CustomCommand &command : commands) {
        QJsonArray actions;
        for (const CustomAction &action : command.actions)
            actions.append(QJsonObject{{QStringLiteral("type"), typeName(action.kind)},
                                       {QStringLiteral("target"), action.target}});
        list.append(QJsonObject{{QStringLiteral("word"), command.word},
                                {QStringLiteral("actions"), actions}});
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("commands"), list}}).toJson();
}

std::optional<CustomCommandList> parse(const QByteArray &json)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonValue list = document.object().value(QLatin1String("commands"));
    if (!list.isArray())
        return std::nullopt;
    CustomCommandList commands;
    for (const QJsonValue &value : list.toArray()) {
        std::optional<CustomCommand> command = parseCommand(value);
        if (!command)
            return std::nullopt;
        commands.append(*command);
    }
    return commands;
}

std::optional<CustomCommandList> load(const QString &path)
{
    if (!QFile::exists(path))
        return CustomCommandList();
    QByteArray bytes;
    QString error;
    if (!readSmallFile(path, maxFileBytes, &bytes, &error)) {
        qWarning().noquote() << path << "could not be read:" << error << "!";
        return std::nullopt;
    }
    std::optional<CustomCommandList> commands = parse(bytes);
    if (!commands)
        qWarning().noquote() << path << "is damaged, custom commands not loaded !";
    return commands;
}

bool save(const CustomCommandList &commands, const QString &path)
{
    QSaveFile file(path);
    const QByteArray bytes = serialise(commands);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        qWarning().noquote() << path << "could not be written:" << file.errorString() << "!";
        return false;
    }
    return true;
}

} // namespace customcommands
