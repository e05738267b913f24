#include "recognition/speechconfig.h"

#include "app/datafiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {
const char defaultModelDir[] = "/usr/share/pocketsphinx/model/en-us";

// A time in seconds, a millisecond to an hour. toDouble takes "nan" and "inf"
// too, which no comparison below refuses and no int can hold.
bool parseSeconds(const QString &value, int *ms)
{
    bool ok = false;
    const double seconds = value.toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds < 0.001 || seconds > 3600)
        return false;
    *ms = int(seconds * 1000 + 0.5);
    return true;
}

// The keys of a section that names an HTTP service: where, which model, the key, and
// how long to wait for the connection and for the whole reply.
struct ServiceKeys
{
    QString *url;
    QString *model;
    QString *apiKey;
    int *connectTimeoutMs;
    int *requestTimeoutMs;

    // False when key is none of them; *ok false when its value is bad.
    bool read(const QString &key, const QString &value, bool *ok) const
    {
        if (key == QLatin1String("url"))
            *url = value;
        else if (key == QLatin1String("model"))
            *model = value;
        else if (key == QLatin1String("api_key"))
            *apiKey = value;
        else if (key == QLatin1String("connect_timeout"))
            *ok = parseSeconds(value, connectTimeoutMs);
        else if (key == QLatin1String("timeout"))
            *ok = parseSeconds(value, requestTimeoutMs);
        else
            return false;
        return true;
    }
};

// A control character in a value (a CR in api_key) would go on the wire inside
// a header, or into a path; in a key it hides what the key is.
bool hasControlCharacter(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0);
    });
}

// A wrong line as an error quotes it: a key on it (in the wrong place) is left out, so it
// reaches neither the log nor the settings page.
QString quoted(QString line)
{
    static const QRegularExpression key(QStringLiteral("(api_key\\s*=\\s*)\\S+"),
                                        QRegularExpression::CaseInsensitiveOption);
    return line.replace(key, QStringLiteral("\\1…"));
}

QString resolved(const QString &path, const QString &baseDir)
{
    if (path.isEmpty() || QFileInfo(path).isAbsolute())
        return path;
    return QDir(baseDir).filePath(path);
}

SpeechConfig defaults()
{
    SpeechConfig c;
    c.models.insert(QStringLiteral("english"),
                    {QString::fromLatin1(defaultModelDir) + QStringLiteral("/en-us"),
                     QString::fromLatin1(defaultModelDir) + QStringLiteral("/en-us.lm.bin"),
                     QString::fromLatin1(defaultModelDir) + QStringLiteral("/cmudict-en-us.dict")});
    c.remoteLanguages = {{QStringLiteral("english"), QStringLiteral("en")},
                         {QStringLiteral("mandarin"), QStringLiteral("zh")},
                         {QStringLiteral("cantonese"), QStringLiteral("yue")}};
    return c;
}

// The key (in lower case) and value of a "key = value" line, without a comment after
// the value; false with *error when the line is none such or holds a control character.
bool splitSetting(const QString &line, QString *key, QString *value, QString *error)
{
    const int eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0) {
        *error = QStringLiteral("expected key = value");
        return false;
    }
    *key = line.left(eq).trimmed().toLower();
    *value = line.mid(eq + 1);
    // A comment may follow a value after white space.
    const int comment = value->indexOf(QRegularExpression(QStringLiteral("\\s[#;]")));
    if (comment >= 0)
        value->truncate(comment);
    *value = value->trimmed();
    if (hasControlCharacter(*key) || hasControlCharacter(*value)) {
        *error = QStringLiteral("control character in %1")
                     .arg(hasControlCharacter(*key) ? QStringLiteral("a key")
                                                    : QStringLiteral("the value of ") + *key);
        return false;
    }
    return true;
}

bool isKnownSection(const QString &section)
{
    return section.isEmpty() || section == QLatin1String("general") ||
           section.startsWith(QLatin1String("model.")) || section == QLatin1String("remote") ||
           section == QLatin1String("translation");
}

// The top of the file, or [general].
bool readGeneral(SpeechConfig *c, const QString &key, const QString &value)
{
    if (key == QLatin1String("engine")) {
        if (value == QLatin1String("embedded"))
            c->engine = SpeechConfig::Engine::Embedded;
        else if (value == QLatin1String("remote"))
            c->engine = SpeechConfig::Engine::Remote;
        else
            return false;
        return true;
    }
    if (key == QLatin1String("result_timeout"))
        return parseSeconds(value, &c->resultTimeoutMs);
    if (key == QLatin1String("end_of_speech"))
        return parseSeconds(value, &c->endSilenceMs);
    return false;
}

bool readModelPath(SpeechModelPaths *paths, const QString &key, const QString &path)
{
    if (key == QLatin1String("acoustic_model"))
        paths->acousticModel = path;
    else if (key == QLatin1String("language_model"))
        paths->languageModel = path;
    else if (key == QLatin1String("dictionary"))
        paths->dictionary = path;
    else
        return false;
    return true;
}

// One setting of a known section; false when the section has no such key or its value is
// bad.
bool readSetting(SpeechConfig *c, const QString &section, const QString &key, const QString &value,
                 const QString &baseDir)
{
    if (section.isEmpty() || section == QLatin1String("general"))
        return readGeneral(c, key, value);
    if (section.startsWith(QLatin1String("model.")))
        return readModelPath(&c->models[section.mid(6)], key, resolved(value, baseDir));
    bool ok = true;
    if (section == QLatin1String("remote")) {
        if (key.startsWith(QLatin1String("language."))) {
            c->remoteLanguages[key.mid(9)] = value;
            return true;
        }
        const ServiceKeys remote{&c->url, &c->model, &c->apiKey, &c->connectTimeoutMs,
                                 &c->requestTimeoutMs};
        return remote.read(key, value, &ok) && ok;
    }
    TranslationSettings &t = c->translation;
    const ServiceKeys translation{&t.url, &t.model, &t.apiKey, &t.connectTimeoutMs,
                                  &t.requestTimeoutMs};
    return translation.read(key, value, &ok) && ok;
}

// What a configuration read to its end still lacks, for the log; empty when nothing.
QString incompleteness(const SpeechConfig &c)
{
    for (auto it = c.models.cbegin(); it != c.models.cend(); ++it) {
        const SpeechModelPaths &p = it.value();
        if (p.acousticModel.isEmpty() || p.languageModel.isEmpty() || p.dictionary.isEmpty())
            return QStringLiteral("[model.%1] needs acoustic_model, language_model and dictionary")
                .arg(it.key());
    }
    if (c.engine == SpeechConfig::Engine::Remote && c.url.isEmpty())
        return QStringLiteral("engine = remote needs url in [remote]");
    return QString();
}
} // namespace

QString speechParamValue(const QByteArray &params, const QString &key)
{
    const QStringList parts = QString::fromUtf8(params).split(QLatin1Char(','));
    for (const QString &part : parts) {
        const int eq = part.indexOf(QLatin1Char('='));
        if (eq > 0 && part.left(eq).trimmed() == key)
            return part.mid(eq + 1).trimmed();
    }
    return QString();
}

QString speechLanguageName(const QByteArray &recognitionParams)
{
    const QString language =
        speechParamValue(recognitionParams, QStringLiteral("language")).toLower();
    const QString accent = speechParamValue(recognitionParams, QStringLiteral("accent")).toLower();
    if (language == QLatin1String("en_us") || language == QLatin1String("en"))
        return QStringLiteral("english");
    if (language == QLatin1String("zh_cn") || language.isEmpty())
        return accent == QLatin1String("cantonese") ? QStringLiteral("cantonese")
                                                    : QStringLiteral("mandarin");
    return language;
}

QString SpeechConfig::workDir(const QByteArray &loginParams)
{
    const QString dir = speechParamValue(loginParams, QStringLiteral("work_dir"));
    return dir.isEmpty() ? QStringLiteral(".") : dir;
}

bool SpeechConfig::load(const QString &workDir, SpeechConfig *config, QString *error)
{
    const QString path = QDir(workDir).filePath(DataFiles::speechIniName);
    if (!QFileInfo::exists(path))
        return parse(QString(), workDir, config, error);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2")
                     .arg(QFileInfo(path).absoluteFilePath(), file.errorString());
        return false;
    }
    if (!parse(QString::fromUtf8(file.readAll()), workDir, config, error)) {
        *error = QStringLiteral("%1: %2").arg(QFileInfo(path).absoluteFilePath(), *error);
        return false;
    }
    config->path = QFileInfo(path).absoluteFilePath();
    return true;
}

bool SpeechConfig::parse(const QString &text, const QString &baseDir, SpeechConfig *config,
                         QString *error)
{
    SpeechConfig c = defaults();
    QString section;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        const QString where = QStringLiteral("line %1: ").arg(i + 1);
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) ||
            line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']'))) {
                *error = where + QStringLiteral("section header without ']'");
                return false;
            }
            section = line.mid(1, line.size() - 2).trimmed().toLower();
            continue;
        }
        QString key, value;
        if (!splitSetting(line, &key, &value, error)) {
            *error = where + *error;
            return false;
        }
        if (!isKnownSection(section)) {
            *error = where + QStringLiteral("unknown section [%1]").arg(section);
            return false;
        }
        if (!readSetting(&c, section, key, value, baseDir)) {
            *error = where + QStringLiteral("unknown key or bad value: %1").arg(quoted(line));
            return false;
        }
    }
    const QString lacking = incompleteness(c);
    if (!lacking.isEmpty()) {
        *error = lacking;
        return false;
    }
    *config = c;
    return true;
}

bool SpeechConfig::operator==(const SpeechConfig &o) const
{
    return engine == o.engine && resultTimeoutMs == o.resultTimeoutMs &&
           endSilenceMs == o.endSilenceMs && models == o.models && url == o.url &&
           model == o.model && apiKey == o.apiKey && remoteLanguages == o.remoteLanguages &&
           connectTimeoutMs == o.connectTimeoutMs && requestTimeoutMs == o.requestTimeoutMs;
}
