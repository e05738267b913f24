#include "ui/speechsettingsfields.h"

#include "recognition/speechinidocument.h"

#include <QStringList>

#include <utility>
#include <vector>

namespace {
const char *const languageNames[] = {"普通话", "粤语", "英语"};

int seconds(int ms)
{
    return qMax(1, qRound(ms / 1000.0));
}

// One changed text value: written, or taken out when emptied.
void putText(SpeechIniDocument *doc, const QString &section, const QString &key,
             const QString &before, const QString &now)
{
    if (before == now)
        return;
    if (now.isEmpty())
        doc->remove(section, key);
    else
        doc->setValue(section, key, now);
}

void putSeconds(SpeechIniDocument *doc, const QString &section, const QString &key, int before,
                int now)
{
    if (before != now)
        doc->setValue(section, key, QString::number(now));
}

// The three parts go together: a section with only some of them is wrong.
void putModel(SpeechIniDocument *doc, const QString &language, const SpeechModelPaths &paths)
{
    const QString section = QStringLiteral("model.") + language;
    const std::pair<const char *, QString> parts[] = {{"acoustic_model", paths.acousticModel},
                                                      {"language_model", paths.languageModel},
                                                      {"dictionary", paths.dictionary}};
    for (const auto &[key, value] : parts) {
        if (value.isEmpty())
            doc->remove(section, QLatin1String(key));
        else
            doc->setValue(section, QLatin1String(key), value);
    }
}
} // namespace

SpeechSettingsFields SpeechSettingsFields::of(const SpeechConfig &config)
{
    SpeechSettingsFields f;
    f.remote = config.engine == SpeechConfig::Engine::Remote;
    f.url = config.url;
    f.model = config.model;
    f.apiKey = config.apiKey;
    f.connectS = seconds(config.connectTimeoutMs);
    f.replyS = seconds(config.requestTimeoutMs);
    for (const char *language : speechModelLanguages)
        f.models.insert(QLatin1String(language), config.models.value(QLatin1String(language)));
    f.translationUrl = config.translation.url;
    f.translationModel = config.translation.model;
    f.translationApiKey = config.translation.apiKey;
    f.translationConnectS = seconds(config.translation.connectTimeoutMs);
    f.translationReplyS = seconds(config.translation.requestTimeoutMs);
    return f;
}

bool SpeechSettingsFields::operator==(const SpeechSettingsFields &o) const
{
    return remote == o.remote && url == o.url && model == o.model && apiKey == o.apiKey &&
           connectS == o.connectS && replyS == o.replyS && models == o.models &&
           translationUrl == o.translationUrl && translationModel == o.translationModel &&
           translationApiKey == o.translationApiKey &&
           translationConnectS == o.translationConnectS && translationReplyS == o.translationReplyS;
}

QString SpeechSettingsFields::problem() const
{
    const QString text = textProblem();
    if (!text.isEmpty())
        return text;
    if (remote && url.isEmpty())
        return QStringLiteral("在线服务需要填写地址");
    return modelProblem();
}

QString SpeechSettingsFields::textProblem() const
{
    const std::vector<std::pair<QString, QString>> texts = {
        {QStringLiteral("地址"), url},
        {QStringLiteral("模型"), model},
        {QStringLiteral("API 密钥"), apiKey},
        {QStringLiteral("翻译服务的地址"), translationUrl},
        {QStringLiteral("翻译服务的模型"), translationModel},
        {QStringLiteral("翻译服务的 API 密钥"), translationApiKey},
    };
    for (const auto &[name, value] : texts) {
        if (!SpeechIniDocument::isStorable(value))
            return QStringLiteral("“%1”含有无法保存的字符（换行、控制字符，或空格后的 # ;）")
                .arg(name);
    }
    return QString();
}

QString SpeechSettingsFields::modelProblem() const
{
    for (int i = 0; i < 3; ++i) {
        const SpeechModelPaths p = models.value(QLatin1String(speechModelLanguages[i]));
        QStringList missing;
        for (const auto &[part, name] :
             {std::pair<QString, const char *>{p.acousticModel, "声学模型"},
              {p.languageModel, "语言模型"},
              {p.dictionary, "词典"}}) {
            if (!SpeechIniDocument::isStorable(part))
                return QStringLiteral("%1模型的%2路径含有无法保存的字符")
                    .arg(QString::fromUtf8(languageNames[i]), QString::fromUtf8(name));
            if (part.isEmpty())
                missing << QString::fromUtf8(name);
        }
        if (!missing.isEmpty() && missing.size() < 3)
            return QStringLiteral("%1模型还缺少：%2")
                .arg(QString::fromUtf8(languageNames[i]), missing.join(QStringLiteral("、")));
    }
    return QString();
}

QString SpeechSettingsFields::editedText(const QString &fileText,
                                         const SpeechSettingsFields &was) const
{
    SpeechIniDocument doc(fileText);
    if (remote != was.remote)
        doc.setValue(QString(), QStringLiteral("engine"),
                     remote ? QStringLiteral("remote") : QStringLiteral("embedded"));
    const QString remoteSection = QStringLiteral("remote");
    putText(&doc, remoteSection, QStringLiteral("url"), was.url, url);
    putText(&doc, remoteSection, QStringLiteral("model"), was.model, model);
    putText(&doc, remoteSection, QStringLiteral("api_key"), was.apiKey, apiKey);
    putSeconds(&doc, remoteSection, QStringLiteral("connect_timeout"), was.connectS, connectS);
    putSeconds(&doc, remoteSection, QStringLiteral("timeout"), was.replyS, replyS);
    for (const char *language : speechModelLanguages) {
        const QString name = QLatin1String(language);
        if (!(was.models.value(name) == models.value(name)))
            putModel(&doc, name, models.value(name));
    }
    const QString translation = QStringLiteral("translation");
    putText(&doc, translation, QStringLiteral("url"), was.translationUrl, translationUrl);
    putText(&doc, translation, QStringLiteral("model"), was.translationModel, translationModel);
    putText(&doc, translation, QStringLiteral("api_key"), was.translationApiKey, translationApiKey);
    putSeconds(&doc, translation, QStringLiteral("connect_timeout"), was.translationConnectS,
               translationConnectS);
    putSeconds(&doc, translation, QStringLiteral("timeout"), was.translationReplyS,
               translationReplyS);
    return doc.text();
}
