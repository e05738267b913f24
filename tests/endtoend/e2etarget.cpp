// The window the user types into, in a process of its own: an editor that
// prints "ready" once it is on screen with the keyboard focus, and then
// "text <base64 of its UTF-8 text>" after every change.
#include <QApplication>
#include <QPlainTextEdit>
#include <QTimer>

#include <cstdio>

namespace {

void say(const QByteArray &line)
{
    std::fputs(line.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QPlainTextEdit editor;
    editor.setWindowTitle(QStringLiteral("ferrule end-to-end target"));
    editor.setGeometry(50, 50, 500, 300);
    QObject::connect(&editor, &QPlainTextEdit::textChanged,
                     [&editor] { say("text " + editor.toPlainText().toUtf8().toBase64()); });
    editor.show();
    editor.activateWindow();
    editor.setFocus();

    // Ready once the window really holds the focus; the test waits for it.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (editor.isActiveWindow() && editor.hasFocus()) {
            say("ready");
            poll.stop();
        } else {
            editor.activateWindow();
        }
    });
    poll.start(50);
    return app.exec();
}
