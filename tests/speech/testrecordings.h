#pragma once

// The packaged recordings of pocketsphinx-testdata with what is said in them, and the
// word error count of a recognized text.

#include <QFile>
#include <QList>
#include <QRegularExpression>
#include <QStringList>

#include <vector>

namespace TestRecordings {

const QString dataDir = QStringLiteral("/usr/share/pocketsphinx/test/data");

struct Recording
{
    QString id;
    QString words; // what is said
    QByteArray wav;
};

// A set in the order of its transcript ("<s> ten of clubs </s> (001)" for 001.wav);
// empty when a file is missing.
inline QList<Recording> set(const QString &name, const QString &transcriptFile)
{
    const QString dir = dataDir + QLatin1Char('/') + name + QLatin1Char('/');
    QFile transcript(dir + transcriptFile);
    if (!transcript.open(QIODevice::ReadOnly))
        return {};
    QList<Recording> result;
    const QRegularExpression line(QStringLiteral("^(.*)\\(([^)]+)\\)\\s*$"));
    for (const QString &text : QString::fromUtf8(transcript.readAll()).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch m = line.match(text);
        if (!m.hasMatch())
            continue;
        QFile wav(dir + m.captured(2) + QStringLiteral(".wav"));
        if (!wav.open(QIODevice::ReadOnly))
            return {};
        result.append({m.captured(2),
                       m.captured(1).remove(QStringLiteral("<s>")).remove(QStringLiteral("</s>")),
                       wav.readAll()});
    }
    return result;
}

inline QList<Recording> cards()
{
    return set(QStringLiteral("cards"), QStringLiteral("cards.transcription"));
}

inline QList<Recording> librivox()
{
    return set(QStringLiteral("librivox"), QStringLiteral("transcription"));
}

inline QStringList words(const QString &text)
{
    return text.toLower()
        .remove(QRegularExpression(QStringLiteral("[^a-z' ]")))
        .split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// Words substituted, left out or put in.
inline int wordErrors(const QString &said, const QString &heard)
{
    const QStringList a = words(said);
    const QStringList b = words(heard);
    std::vector<int> row(size_t(b.size()) + 1);
    for (int j = 0; j <= b.size(); ++j)
        row[size_t(j)] = j;
    for (int i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = i;
        for (int j = 1; j <= b.size(); ++j) {
            const int above = row[size_t(j)];
            row[size_t(j)] = qMin(qMin(above + 1, row[size_t(j) - 1] + 1),
                                  diagonal + (a.at(i - 1) == b.at(j - 1) ? 0 : 1));
            diagonal = above;
        }
    }
    return row[size_t(b.size())];
}

} // namespace TestRecordings
