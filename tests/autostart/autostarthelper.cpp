// Stands in for Ferrule in the autostart tests: a program that can be copied
// to any folder and registers itself from there.
//   autostarthelper register | remove | start
// Without arguments (as the session starts it from the entry) it writes its own
// path, its working directory and its argument count to $FERRULE_AUTOSTART_REPORT.
#include "app/autostart.h"
#include "platform/linux/xdgautostart.h"
#include "app/settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const QString mode = arguments.value(1);
    if (mode == QLatin1String("register")) {
        setXdgAutoStart(true);
    } else if (mode == QLatin1String("remove")) {
        setXdgAutoStart(false);
    } else if (mode == QLatin1String("start")) {
        // What start-up does before anything else reads the settings.
        createDefaultConfig();
        applyAutoStartSetting(settingsMap());
    } else {
        QFile report(qEnvironmentVariable("FERRULE_AUTOSTART_REPORT"));
        if (!report.open(QIODevice::WriteOnly))
            return 2;
        report.write((QCoreApplication::applicationFilePath() + '\n' + QDir::currentPath() + '\n' +
                      QString::number(arguments.size() - 1) + '\n')
                         .toUtf8());
    }
    return 0;
}
