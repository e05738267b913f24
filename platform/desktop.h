#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

// Web pages and programs of the user's desktop.
namespace desktop {

// Opens url in the default browser (or whatever handles its scheme).
bool openUrl(const QUrl &url);

// The first of names that is installed (found on PATH), empty when none is.
QString findProgram(const QStringList &names);

// Starts program so that it keeps running on its own; does not wait.
bool startDetached(const QString &program, const QStringList &arguments);

// Runs program and waits until it ends, at most timeoutMs; a program still
// running then is left running. Returns false when it could not be started.
bool runAndWait(const QString &program, const QStringList &arguments, int timeoutMs);

} // namespace desktop
