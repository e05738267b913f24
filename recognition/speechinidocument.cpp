#include "recognition/speechinidocument.h"

#include <QRegularExpression>

namespace {
QString sectionName(const QString &name)
{
    const QString lower = name.trimmed().toLower();
    return lower == QLatin1String("general") ? QString() : lower;
}

bool isComment(const QString &trimmed)
{
    return trimmed.startsWith(QLatin1Char('#')) || trimmed.startsWith(QLatin1Char(';'));
}

const QRegularExpression &commentStart()
{
    static const QRegularExpression re(QStringLiteral("\\s[#;]"));
    return re;
}
} // namespace

SpeechIniDocument::SpeechIniDocument(const QString &text)
{
    if (text.contains(QLatin1String("\r\n")))
        m_newline = QStringLiteral("\r\n");
    m_lines = text.split(QLatin1Char('\n'));
    // A file that ends with a line break has no line after it.
    if (!m_lines.isEmpty() && m_lines.last().isEmpty())
        m_lines.removeLast();
    for (QString &line : m_lines)
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
}

QVector<SpeechIniDocument::Entry> SpeechIniDocument::entries() const
{
    QVector<Entry> result;
    result.reserve(m_lines.size());
    QString section;
    for (const QString &text : m_lines) {
        const QString line = text.trimmed();
        Entry e;
        if (line.startsWith(QLatin1Char('['))) {
            section = sectionName(line.mid(1, line.size() - 2));
            e.header = true;
        } else if (!line.isEmpty() && !isComment(line)) {
            const int eq = line.indexOf(QLatin1Char('='));
            if (eq > 0)
                e.key = line.left(eq).trimmed().toLower();
        }
        e.section = section;
        result.append(e);
    }
    return result;
}

void SpeechIniDocument::setValue(const QString &section, const QString &key, const QString &value)
{
    const QString wanted = sectionName(section);
    const QVector<Entry> all = entries();
    for (int i = m_lines.size() - 1; i >= 0; --i) {
        const Entry &e = all.at(i);
        if (e.header || e.section != wanted || e.key != key)
            continue;
        // Keep everything around the value: "key =", its blanks, a comment after it.
        QString &line = m_lines[i];
        const int eq = line.indexOf(QLatin1Char('='));
        const QString rest = line.mid(eq + 1);
        const int comment = rest.indexOf(commentStart());
        const QString old = comment >= 0 ? rest.left(comment) : rest;
        const QString tail = comment >= 0 ? rest.mid(comment) : QString();
        int lead = 0;
        while (lead < old.size() && old.at(lead).isSpace())
            ++lead;
        int trail = old.size();
        while (trail > lead && old.at(trail - 1).isSpace())
            --trail;
        QString before = old.left(lead);
        if (before.isEmpty() && line.left(eq).endsWith(QLatin1Char(' ')))
            before = QStringLiteral(" ");
        line = line.left(eq + 1) + before + value + old.mid(trail) + tail;
        return;
    }
    const QString newLine = key + QStringLiteral(" = ") + value;
    const int at = insertionPoint(wanted, key);
    if (at >= 0) {
        m_lines.insert(at, newLine);
        return;
    }
    if (!m_lines.isEmpty() && !m_lines.last().trimmed().isEmpty())
        m_lines.append(QString());
    m_lines.append(QLatin1Char('[') + wanted + QLatin1Char(']'));
    m_lines.append(newLine);
}

int SpeechIniDocument::insertionPoint(const QString &section, const QString &key) const
{
    const QVector<Entry> all = entries();
    // After the last setting (or header) of the section: the comments that follow
    // it belong to whatever comes next.
    int last = -1;
    for (int i = 0; i < m_lines.size(); ++i) {
        const Entry &e = all.at(i);
        if (e.section == section && (e.header || !e.key.isEmpty()))
            last = i;
    }
    if (last >= 0 || !section.isEmpty())
        return last >= 0 ? last + 1 : -1;

    // The top of the file without a setting yet, up to its first header: after the
    // commented example of the key ("#engine = embedded"), else after what is there.
    int end = 0;
    while (end < m_lines.size() && !all.at(end).header)
        ++end;
    const QRegularExpression commented(
        QStringLiteral("^[#;]\\s*%1\\s*=").arg(QRegularExpression::escape(key)));
    for (int i = end - 1; i >= 0; --i)
        if (commented.match(m_lines.at(i).trimmed()).hasMatch())
            return i + 1;
    const auto blank = [this](int i) { return m_lines.at(i).trimmed().isEmpty(); };
    const auto comment = [this](int i) { return isComment(m_lines.at(i).trimmed()); };
    int at = end;
    while (at > 0 && blank(at - 1))
        --at;
    // A paragraph of comments right above the first header is about that section;
    // the comment that opens the file is not.
    int paragraph = at;
    while (end < m_lines.size() && paragraph > 0 && comment(paragraph - 1))
        --paragraph;
    if (paragraph > 0 && paragraph < at && blank(paragraph - 1)) {
        at = paragraph;
        while (at > 0 && blank(at - 1))
            --at;
    }
    return at;
}

void SpeechIniDocument::remove(const QString &section, const QString &key)
{
    const QString wanted = sectionName(section);
    const QVector<Entry> all = entries();
    for (int i = m_lines.size() - 1; i >= 0; --i) {
        const Entry &e = all.at(i);
        if (!e.header && e.section == wanted && e.key == key)
            m_lines.removeAt(i);
    }
}

QString SpeechIniDocument::text() const
{
    return m_lines.isEmpty() ? QString() : m_lines.join(m_newline) + m_newline;
}

bool SpeechIniDocument::isStorable(const QString &value)
{
    for (const QChar c : value)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            return false;
    if (value != value.trimmed())
        return false;
    return !value.contains(commentStart());
}
