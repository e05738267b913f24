#include "app/autostart.h"
#include "app/datafiles.h"
#include "app/fonts.h"
#include "app/logfile.h"
#include "app/qsingleapplication.h"
#include "app/settings.h"
#include "capture/mousehook.h"
#include "capture/sessioncheck.h"
#include "device/devicemanagement.h"
#include "platform/platform.h"
#include "recognition/quilletiat.h"
#include "ui/mainwindow.h"
#include "ui/promptboxsink.h"
#include "update/updatecheck.h"

#include <QIcon>

#include <csignal>

int main(int argc, char *argv[])
{
    // Under a file-size limit (ulimit -f) a write past it would end the program
    // by SIGXFSZ: at start (the decoder's dictionary), at the first press (the
    // audio library's shared memory), while recording. Ignored, the write fails
    // with an error instead, and every writer takes its failure path and logs
    // it: record.raw and record.wav (capture/recorder.cpp), config.txt
    // (app/settings.cpp), the autostart entry (platform/linux/xdgautostart.cpp), the trimmed
    // dictionary (recognition/embeddedengine.cpp, which then loads the whole
    // one), customcommands.json (app/customcommands.cpp). A data file written
    // later must check its writes the same way, best through QSaveFile and its
    // commit().
    std::signal(SIGXFSZ, SIG_IGN);

    // Widgets draw in software; otherwise the first window loads Mesa's OpenGL
    // stack (llvmpipe, about 50 MB) that nothing here uses.
    QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);
    auto *app = new QSingleApplication(argc, argv);
    app->setWindowIcon(QIcon(QStringLiteral(":/ico/talvox.ico")));
    if (app->isRunning()) {
        delete app;
        return 0;
    }
    // The log goes to ./ferrule.log as well, where the user can find it.
    installLogFile(DataFiles::log);
    installFontSubstitutions();

    // The desktop; setting it up gives back the keycodes an earlier run left
    // bound to characters when it died while typing.
    installPlatform(systemPlatform());
    // What the logic tells the user in passing shows in the prompt box for its second.
    installPromptSink(promptBoxSink());

    createDefaultConfig();
    // BootUp: 0 removes the session autostart entry, 1 writes it, other values leave it.
    applyAutoStartSetting(settingsMap());

    // The speech model loads in the background while the rest starts.
    QuilletIat::preloadSpeechModel();

    // Push-to-talk; without it (no display, no input devices) the program still
    // runs, and says why in the log and in one prompt.
    reportSessionLimits(installMouseHook());

    int code = 0;
    {
        // The objects of the run are destroyed in reverse order before the application.
        // Hidden: Ferrule lives in the tray until "退出". On a desktop without
        // a tray the status window shows instead, at start and at every later start.
        MainWindow mainWindow;
        mainWindow.showWithoutTray(MainWindow::Focus::Leave);
        QObject::connect(app, &QSingleApplication::startedAgain, &mainWindow,
                         [&mainWindow] { mainWindow.showWithoutTray(MainWindow::Focus::Take); });
        // Watches the USB bus for the voice mouse from now on.
        DeviceManagement deviceManagement;
        // One question to the update server; the answer comes through the event loop.
        startUpdateCheck();

        code = app->exec();
    }
    delete app;
    return code;
}
