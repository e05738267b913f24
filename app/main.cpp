#include "app/fonts.h"
#include "app/qsingleapplication.h"
#include "app/settings.h"
#include "capture/mousehook.h"
#include "ui/mainwindow.h"

#include <QIcon>

int main(int argc, char *argv[])
{
    auto *app = new QSingleApplication(argc, argv);
    app->setWindowIcon(QIcon(QStringLiteral(":/ico/talvox.ico")));
    if (app->isRunning()) {
        delete app;
        return 0;
    }
    installFontSubstitutions();

    createDefaultConfig();

    // Push-to-talk; without it (no X display) the program still runs, and says why in the log.
    installMouseHook();

    int code = 0;
    {
        // The objects of the run are destroyed in reverse order before the application.
        // Hidden: Ferrule lives in the tray until "退出".
        MainWindow mainWindow;

        code = app->exec();
    }
    delete app;
    return code;
}
