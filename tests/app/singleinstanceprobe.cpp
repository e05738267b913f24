// Starts as Ferrule's application object does and reports what happens:
// "second" and exit 0 when another instance runs, otherwise "first" and then
// "message:<word>" for every word a later start hands over.
#include "app/qsingleapplication.h"

#include <QTimer>
#include <cstdio>

int main(int argc, char *argv[])
{
    QSingleApplication app(argc, argv);
    if (app.isRunning()) {
        std::puts("second");
        return 0;
    }
    std::puts("first");
    std::fflush(stdout);

    QString last;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&app, &last] {
        if (app.lastMessage() != last) {
            last = app.lastMessage();
            std::printf("message:%s\n", qPrintable(last));
            std::fflush(stdout);
        }
    });
    poll.start(10);
    return app.exec();
}
