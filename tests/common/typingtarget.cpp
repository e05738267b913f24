// The window of another process that tests and benchmarks type into: an editor
// that reports its text on request. Commands on stdin, one per line:
//   text   -> "text <base64 of the UTF-8 text>"
//   clear  -> "ok"
//   active -> "active 1" while the window is the active one, else "active 0"
// At start it prints "ready <window id in hex>" once the window is on screen
// (with QT_QPA_PLATFORM=wayland on a Wayland compositor, whose windows have no
// such id: then "ready 1").
// Options: --line (a one-line editor), --close-after N (close once the text
// has N characters), --focus-after N ID (give the focus to window ID at the
// Nth key press read off the X connection, before the press is handled, so
// that whatever the window answers later comes after the focus moved),
// --at X,Y (window position),
// --report (print "text <base64>" after every change, unasked, and "ready" only
// once the window holds the keyboard focus: for a whole program typing into it).
#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <unistd.h>
#include <xcb/xcb.h>

#include <X11/Xlib.h>

namespace {

void reply(const QByteArray &line)
{
    std::fputs(line.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Moves the focus at the Nth key press, on a connection of its own and
// synchronously: the server has done it before the press goes on to the
// editor, its input method, or anything the window sends afterwards.
class FocusMover : public QAbstractNativeEventFilter
{
public:
    FocusMover(int presses, Window to) : left(presses), to(to) {}

    bool nativeEventFilter(const QByteArray &, void *message, long *) override
    {
        const auto *event = static_cast<xcb_generic_event_t *>(message);
        if (left <= 0 || (event->response_type & 0x7f) != XCB_KEY_PRESS || --left > 0)
            return false;
        if (Display *display = XOpenDisplay(nullptr)) {
            XSetInputFocus(display, to, RevertToParent, CurrentTime);
            XSync(display, False);
            XCloseDisplay(display);
        }
        return false;
    }

private:
    int left;
    Window to;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool oneLine = args.contains(QStringLiteral("--line"));
    const bool report = args.contains(QStringLiteral("--report"));
    const int closeAt = args.indexOf(QStringLiteral("--close-after"));
    const int closeAfter = closeAt > 0 ? args.value(closeAt + 1).toInt() : 0;
    const int focusAt = args.indexOf(QStringLiteral("--focus-after"));
    FocusMover focusMover(focusAt > 0 ? args.value(focusAt + 1).toInt() : 0,
                          focusAt > 0 ? Window(args.value(focusAt + 2).toULong(nullptr, 0)) : 0);
    app.installNativeEventFilter(&focusMover);
    const int atIndex = args.indexOf(QStringLiteral("--at"));
    const QStringList at =
        atIndex > 0 ? args.value(atIndex + 1).split(QLatin1Char(',')) : QStringList();

    QWidget *editor = nullptr;
    QLineEdit line;
    QPlainTextEdit plain;
    if (oneLine)
        editor = &line;
    else
        editor = &plain;
    auto text = [&]() { return oneLine ? line.text() : plain.toPlainText(); };
    auto clear = [&]() { oneLine ? line.clear() : plain.clear(); };

    editor->resize(400, 300);
    if (at.size() == 2)
        editor->move(at.at(0).toInt(), at.at(1).toInt());
    editor->setWindowTitle(QStringLiteral("typing target"));
    editor->show();
    editor->setFocus();

    auto changed = [&]() {
        if (report)
            reply("text " + text().toUtf8().toBase64());
        if (closeAfter > 0 && text().size() >= closeAfter)
            app.quit();
    };
    QObject::connect(&line, &QLineEdit::textChanged, changed);
    QObject::connect(&plain, &QPlainTextEdit::textChanged, changed);

    QTimer ready;
    QObject::connect(&ready, &QTimer::timeout, [&]() {
        if (!editor->windowHandle() || !editor->windowHandle()->isExposed())
            return;
        if (report && !(editor->isActiveWindow() && editor->hasFocus())) {
            editor->activateWindow();
            return;
        }
        ready.stop();
        reply("ready " + QByteArray::number(quint64(editor->winId()), 16));
    });
    ready.start(10);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, [&]() {
        char buffer[256];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            app.quit();
            return;
        }
        pending.append(buffer, int(got));
        int end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray command = pending.left(end).trimmed();
            pending.remove(0, end + 1);
            if (command == "text") {
                reply("text " + text().toUtf8().toBase64());
            } else if (command == "clear") {
                clear();
                reply("ok");
            } else if (command == "active") {
                reply(QGuiApplication::focusWindow() ? "active 1" : "active 0");
            }
        }
    });
    return app.exec();
}
