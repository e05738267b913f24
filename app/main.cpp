#include "app/fonts.h"
#include "app/qsingleapplication.h"
#include "app/settings.h"

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

    const int code = app->exec();
    delete app;
    return code;
}
