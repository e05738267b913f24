#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// speech.ini as the lines of its text, for changing a few values without touching
// the rest: a value set replaces the value of the line that gives it (the key as
// written, the blanks around it and a comment after it stay), a key the file lacks
// goes after the last setting of its section, a section the file lacks is added at
// its end. Comments, blank lines, unknown keys and their order stay as they are.
// Sections and keys are matched as SpeechConfig::parse reads them: the section ""
// is the top of the file (and [general]).
class SpeechIniDocument
{
public:
    explicit SpeechIniDocument(const QString &text = QString());

    void setValue(const QString &section, const QString &key, const QString &value);
    // Takes out every line that gives key in section.
    void remove(const QString &section, const QString &key);
    QString text() const;

    // Whether value can stand on a line of its own and be read back the same:
    // no line break or other control character, no blank at either end, and no
    // blank followed by '#' or ';', which the file reads as a comment.
    static bool isStorable(const QString &value);

private:
    struct Entry
    {
        QString section; // of the line; for a header, the section it opens
        QString key;     // empty unless the line is "key = value"
        bool header = false;
    };
    QVector<Entry> entries() const;
    // Where a new key of section goes, or -1 when the file has no such section.
    int insertionPoint(const QString &section, const QString &key) const;

    QStringList m_lines;
    QString m_newline = QStringLiteral("\n");
};
