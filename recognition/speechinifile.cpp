#include "recognition/speechinifile.h"

#include "app/datafiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextCodec>

namespace SpeechIniFile {

QString path(const QString &dir)
{
    return QFileInfo(QDir(dir).filePath(DataFiles::speechIniName)).absoluteFilePath();
}

Contents read(const QString &dir)
{
    Contents contents;
    const QString file = path(dir);
    if (!QFileInfo::exists(file)) {
        contents.ok = SpeechConfig::parse(QString(), dir, &contents.config, &contents.error);
        return contents;
    }
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        contents.error = QStringLiteral("cannot read %1: %2").arg(file, in.errorString());
        return contents;
    }
    const QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError) {
        contents.error = QStringLiteral("cannot read %1: %2").arg(file, in.errorString());
        return contents;
    }
    // Text that is not UTF-8 would come back changed in the lines the page leaves alone.
    QTextCodec::ConverterState state;
    contents.text =
        QTextCodec::codecForName("UTF-8")->toUnicode(bytes.constData(), bytes.size(), &state);
    if (state.invalidChars > 0) {
        contents.error = QStringLiteral("%1 is not UTF-8 text").arg(file);
        return contents;
    }
    if (!SpeechConfig::parse(contents.text, dir, &contents.config, &contents.error)) {
        contents.error = QStringLiteral("%1: %2").arg(file, contents.error);
        return contents;
    }
    contents.config.path = file;
    contents.ok = true;
    return contents;
}

bool write(const QString &dir, const QString &text, bool holdsKey, QString *error)
{
    const QString file = path(dir);
    // Without a key the new file takes the old one's permissions (a new one the
    // umask's), as QSaveFile gives them.
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot write %1: %2").arg(file, out.errorString());
        return false;
    }
    // Set on the new file before it takes the old one's place, so a key is never
    // readable by others, not even for a moment.
    const QByteArray bytes = text.toUtf8();
    if ((holdsKey && !out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) ||
        out.write(bytes) != bytes.size() || !out.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(file, out.errorString());
        return false;
    }
    return true;
}

} // namespace SpeechIniFile
