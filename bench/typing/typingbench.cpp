// Types the typing corpus into an editor window of another process, once with
// Ferrule and once with `xdotool type` (default delay), and prints the speed of
// each and how many characters arrived wrong.
#include "actions/typing.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <cstdio>

namespace {

class Target
{
public:
    Target()
    {
        process.start(QStringLiteral(TYPING_TARGET), QStringList());
        process.waitForStarted(10000);
        const QByteArray line = readLine();
        if (line.startsWith("ready "))
            window = QString::number(line.mid(6).trimmed().toULongLong(nullptr, 16));
    }
    ~Target()
    {
        process.closeWriteChannel();
        if (!process.waitForFinished(3000))
            process.kill();
        process.waitForFinished(3000);
    }
    bool focus()
    {
        return !window.isEmpty() &&
               QProcess::execute(QStringLiteral("xdotool"), {"windowfocus", "--sync", window}) == 0;
    }
    QString command(const QByteArray &name)
    {
        process.write(name + '\n');
        const QByteArray line = readLine();
        return QString::fromUtf8(QByteArray::fromBase64(line.mid(line.indexOf(' ') + 1).trimmed()));
    }
    QString text() { return command("text"); }
    void clear() { command("clear"); }

private:
    QByteArray readLine()
    {
        QElapsedTimer waited;
        waited.start();
        while (!process.canReadLine() && waited.elapsed() < 10000 &&
               process.state() == QProcess::Running)
            process.waitForReadyRead(100);
        return process.readLine();
    }

    QProcess process;
    QString window;
};

// Characters that differ, position by position, plus those missing or extra.
int wrongChars(const QString &typed, const QString &expected)
{
    const QVector<uint> a = typed.toUcs4(), b = expected.toUcs4();
    int wrong = std::abs(a.size() - b.size());
    for (int i = 0; i < std::min(a.size(), b.size()); ++i)
        wrong += a.at(i) != b.at(i);
    return wrong;
}

// Waits until the target shows the whole text or stops changing for a second.
QString settle(Target &target, const QString &expected, QElapsedTimer &clock, qint64 *done)
{
    QString text = target.text(), last;
    QElapsedTimer still;
    still.start();
    while (text != expected && still.elapsed() < 1000) {
        QThread::msleep(5);
        last = text;
        text = target.text();
        if (text != last)
            still.restart();
    }
    *done = clock.elapsed();
    return text;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QFile file(QStringLiteral(TYPING_CORPUS));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "no corpus\n");
        return 1;
    }
    QString corpus = QString::fromUtf8(file.readAll());
    if (corpus.endsWith(QLatin1Char('\n')))
        corpus.chop(1);
    const int chars = corpus.toUcs4().size();

    Target target;
    if (!target.focus()) {
        std::fprintf(stderr, "no target window\n");
        return 1;
    }

    QElapsedTimer clock;
    qint64 done = 0;
    clock.start();
    typeText(corpus.toUtf8().constData());
    const QString ours = settle(target, corpus, clock, &done);
    const double oursPerSecond = chars * 1000.0 / std::max<qint64>(done, 1);
    const int wrong = wrongChars(ours, corpus);

    target.clear();
    clock.restart();
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"),
                  {QStringLiteral("type"), QStringLiteral("--"), corpus});
    xdotool.waitForFinished(600000);
    const QString theirs = settle(target, corpus, clock, &done);
    const double theirsPerSecond = chars * 1000.0 / std::max<qint64>(done, 1);

    if (qEnvironmentVariableIsSet("FERRULE_BENCH_SHOW")) {
        std::printf("--- ferrule\n%s\n--- xdotool\n%s\n", ours.toUtf8().constData(),
                    theirs.toUtf8().constData());
    }
    std::printf("ferrule: %d characters, %d wrong\n", chars, wrong);
    std::printf("xdotool: %d characters, %d wrong\n", chars, wrongChars(theirs, corpus));
    std::printf(
        "SUMMARY typing chars_per_s=%.0f xdotool_chars_per_s=%.0f ratio=%.1f wrong_chars=%d\n",
        oursPerSecond, theirsPerSecond, oursPerSecond / std::max(theirsPerSecond, 0.001), wrong);
    return 0;
}
