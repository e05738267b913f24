#include "recognition/modelfolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace {
constexpr int maxDepth = 2;
// A folder picked by mistake (the home folder, "/") is not searched for long.
constexpr int maxEntries = 5000;

struct Candidates
{
    QStringList acoustic;
    QList<QStringList> languageModels{{}, {}, {}, {}}; // by preference of their ending
    QStringList dictionaries;
    int seen = 0;
};

const char *const languageModelEndings[] = {".lm.bin", ".lm.dmp", ".lm", ".arpa"};

void collect(const QString &folder, int depth, Candidates *found)
{
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Readable, QDir::Name);
    bool hasMdef = false;
    bool hasMeans = false;
    for (const QFileInfo &info : entries) {
        if (++found->seen > maxEntries)
            return;
        const QString name = info.fileName().toLower();
        if (info.isDir()) {
            if (depth < maxDepth && !info.isSymLink())
                collect(info.filePath(), depth + 1, found);
            continue;
        }
        hasMdef = hasMdef || name == QLatin1String("mdef");
        hasMeans = hasMeans || name == QLatin1String("means");
        if (name.endsWith(QLatin1String(".dict")) || name.endsWith(QLatin1String(".dic"))) {
            found->dictionaries << info.filePath();
            continue;
        }
        // A phone model recognizes sounds, not words.
        if (name.contains(QLatin1String("phone")))
            continue;
        for (int rank = 0; rank < 4; ++rank) {
            if (name.endsWith(QLatin1String(languageModelEndings[rank]))) {
                found->languageModels[rank] << info.filePath();
                break;
            }
        }
    }
    if (hasMdef && hasMeans)
        found->acoustic << QDir::cleanPath(folder);
}

QString onlyOne(const QStringList &candidates)
{
    return candidates.size() == 1 ? candidates.first() : QString();
}
} // namespace

SpeechModelPaths findModelParts(const QString &folder)
{
    SpeechModelPaths parts;
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return parts;
    Candidates found;
    collect(folder, 0, &found);
    parts.acousticModel = onlyOne(found.acoustic);
    for (const QStringList &ranked : found.languageModels) {
        if (!ranked.isEmpty()) {
            parts.languageModel = onlyOne(ranked);
            break;
        }
    }
    parts.dictionary = onlyOne(found.dictionaries);
    return parts;
}
