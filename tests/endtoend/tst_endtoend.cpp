// The whole road with the real program: a side button held with xdotool,
// speech played into the microphone, the text arriving in another program's
// window, and in intelligent mode the page the command names being opened.
#include "common/ferruleprogram.h"
#include "common/stubhttpserver.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const char goForward[] = "/usr/share/pocketsphinx/test/data/goforward.raw";

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The keyboard map as xmodmap lists it.
QString keymap()
{
    QProcess xmodmap;
    xmodmap.start(QStringLiteral("xmodmap"), {QStringLiteral("-pke")});
    xmodmap.waitForFinished(10000);
    return QString::fromUtf8(xmodmap.readAllStandardOutput());
}

QByteArray remoteSettings(quint16 port)
{
    return QStringLiteral("[general]\nengine = remote\n[remote]\nurl = http://127.0.0.1:%1\n"
                          "model = whisper-1\napi_key = e2e-secret\ntimeout = 10\n")
        .arg(port)
        .toUtf8();
}

bool xdotool(const char *action)
{
    // A press let go within 0.3 s is a tap, the window's click, and records
    // nothing: a user dictating holds the button longer.
    static QElapsedTimer sincePress;
    if (qstrcmp(action, "mouseup") == 0 && sincePress.isValid() && !sincePress.hasExpired(400))
        QTest::qWait(int(400 - sincePress.elapsed()));
    if (qstrcmp(action, "mousedown") == 0)
        sincePress.start();
    return QProcess::execute(QStringLiteral("xdotool"),
                             {QLatin1String(action), QStringLiteral("8")}) == 0;
}

// The answers of an OpenAI-style service: a transcription, and a chat completion
// with the translation (at /v1/chat/completions).
QByteArray transcription(const QString &text)
{
    return QJsonDocument(QJsonObject{{"text", text}}).toJson();
}

QByteArray chatCompletion(const QString &content)
{
    const QJsonObject message{{"role", "assistant"}, {"content", content}};
    return QJsonDocument(QJsonObject{{"choices", QJsonArray{QJsonObject{{"message", message}}}}})
        .toJson();
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void typingModeEnglish();
    void intelligentModeWithRemoteEngine();
    void translationModeWithRemoteServices();
    void staleRecordingsRecognizeNothing();
    void fileSizeLimit();
    void killedWhileTyping();

private:
    void startTarget();
    // Writes config.txt (and speech.ini when given), then starts the target and Ferrule.
    void startWith(const QByteArray &configText, const QByteArray &speechIni = QByteArray());
    // prlimit's file-size limit in bytes when given.
    void startFerrule(qint64 fileSizeLimit = 0);
    // Holds button 8 while the recording at path (if any) is played into the microphone.
    void pressSpeakRelease(const QString &path);
    int occurrences(const QByteArray &line) const { return ferruleOutput.count(line); }
    // Until line has been written times times in all the runs of the test.
    bool waitForOutput(const QByteArray &line, int timeoutMs, int times = 1);
    qint64 recorded() const
    {
        return QFileInfo(runDir->filePath(QStringLiteral("record.raw"))).size();
    }

    std::unique_ptr<QTemporaryDir> runDir;
    std::unique_ptr<QTemporaryDir> homeDir;
    std::unique_ptr<QProcess> target;
    std::unique_ptr<QProcess> ferrule;
    bool targetReady = false;
    QString targetText;
    QByteArray ferruleOutput;
};

void TestEndToEnd::init()
{
    runDir = std::make_unique<QTemporaryDir>();
    homeDir = std::make_unique<QTemporaryDir>();
    QVERIFY(runDir->isValid() && homeDir->isValid());
    QVERIFY(copyFerruleData(runDir->path()));

    // The desktop's URL opener, replaced by one that writes down what it was given.
    QVERIFY(QDir(homeDir->path()).mkpath(QStringLiteral("bin")));
    const QString opener = homeDir->filePath(QStringLiteral("bin/xdg-open"));
    QVERIFY(writeFile(opener, "#!/bin/sh\nprintf '%s\\n' \"$@\" >> \"$FERRULE_TEST_OPENED\"\n"));
    QVERIFY(QFile::setPermissions(opener, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    targetText.clear();
    ferruleOutput.clear();
}

void TestEndToEnd::cleanup()
{
    for (QProcess *process : {ferrule.get(), target.get()}) {
        if (!process)
            continue;
        process->terminate();
        if (!process->waitForFinished(5000)) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
    if (QTest::currentTestFailed())
        qWarning().noquote() << "ferrule said:\n" + QString::fromUtf8(ferruleOutput);
    ferrule.reset();
    target.reset();
    runDir.reset();
    homeDir.reset();
}

void TestEndToEnd::startTarget()
{
    target = std::make_unique<QProcess>();
    target->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    targetReady = false;
    connect(target.get(), &QProcess::readyReadStandardOutput, this, [this] {
        while (target->canReadLine()) {
            const QByteArray line = target->readLine().trimmed();
            if (line.startsWith("ready"))
                targetReady = true;
            else if (line.startsWith("text "))
                targetText = QString::fromUtf8(QByteArray::fromBase64(line.mid(5)));
        }
    });
    target->start(QStringLiteral(TYPING_TARGET),
                  {QStringLiteral("--report"), QStringLiteral("--at"), QStringLiteral("50,50")});
    QTRY_VERIFY_WITH_TIMEOUT(targetReady, 20000);
}

void TestEndToEnd::startWith(const QByteArray &configText, const QByteArray &speechIni)
{
    QVERIFY(writeFile(runDir->filePath(QStringLiteral("config.txt")), configText));
    if (!speechIni.isEmpty())
        QVERIFY(writeFile(runDir->filePath(QStringLiteral("speech.ini")), speechIni));
    startTarget();
    startFerrule();
}

void TestEndToEnd::startFerrule(qint64 fileSizeLimit)
{
    const int started = occurrences("Mouse hook installed !");
    ferrule = std::make_unique<QProcess>();
    ferrule->setProcessChannelMode(QProcess::MergedChannels);
    ferrule->setWorkingDirectory(runDir->path());
    QProcessEnvironment env = ferruleEnvironment(homeDir->path());
    env.insert(QStringLiteral("PATH"), homeDir->filePath(QStringLiteral("bin")) + QLatin1Char(':') +
                                           env.value(QStringLiteral("PATH")));
    env.insert(QStringLiteral("FERRULE_TEST_OPENED"),
               homeDir->filePath(QStringLiteral("opened.txt")));
    ferrule->setProcessEnvironment(env);
    connect(ferrule.get(), &QProcess::readyRead, this,
            [this] { ferruleOutput += ferrule->readAll(); });
    if (fileSizeLimit > 0)
        ferrule->start(QStringLiteral("prlimit"), {QStringLiteral("--fsize=%1").arg(fileSizeLimit),
                                                   QStringLiteral(FERRULE_PROGRAM)});
    else
        ferrule->start(QStringLiteral(FERRULE_PROGRAM), QStringList());
    QVERIFY2(waitForOutput("Mouse hook installed !", 20000, started + 1),
             ferruleOutput.constData());
}

bool TestEndToEnd::waitForOutput(const QByteArray &line, int timeoutMs, int times)
{
    QDeadlineTimer deadline(timeoutMs);
    while (occurrences(line) < times && !deadline.hasExpired())
        QTest::qWait(20);
    return occurrences(line) >= times;
}

void TestEndToEnd::pressSpeakRelease(const QString &path)
{
    const int presses = occurrences("Forward button down !");
    QVERIFY(xdotool("mousedown"));
    QVERIFY2(waitForOutput("Forward button down !", 10000, presses + 1), ferruleOutput.constData());
    // The capture is running once record.raw starts to fill.
    QTRY_VERIFY_WITH_TIMEOUT(recorded() > 0, 10000);
    if (!path.isEmpty()) {
        QProcess player;
        player.start(QStringLiteral("pacat"),
                     {QStringLiteral("--playback"), QStringLiteral("--raw"),
                      QStringLiteral("--rate=16000"), QStringLiteral("--channels=1"),
                      QStringLiteral("--format=s16le"), path});
        QVERIFY(player.waitForFinished(30000));
        QCOMPARE(player.exitCode(), 0);
    }
    // Half a second more in the file: the end of the speech has passed the audio server.
    const qint64 afterSpeech = recorded() + 16000;
    QTRY_VERIFY_WITH_TIMEOUT(recorded() >= afterSpeech, 10000);
    QVERIFY(xdotool("mouseup"));
    QVERIFY2(waitForOutput("Forward button up !", 10000, presses + 1), ferruleOutput.constData());
}

void TestEndToEnd::typingModeEnglish()
{
    startWith(ferruleConfig(1, 1, 0, 0));

    pressSpeakRelease(QString::fromLatin1(goForward));

    QTRY_COMPARE_WITH_TIMEOUT(targetText, QStringLiteral("go forward ten meters"), 60000);
    QVERIFY(!QFile::exists(homeDir->filePath(QStringLiteral("opened.txt"))));
}

void TestEndToEnd::intelligentModeWithRemoteEngine()
{
    const QString sentence = QStringLiteral("在京东搜索耳机");
    StubHttpServer stub(StubHttpServer::Answer, 200, transcription(sentence));
    QVERIFY(stub.isListening());
    startWith(ferruleConfig(0, 0, 1, 0), remoteSettings(stub.port()));

    pressSpeakRelease(QString::fromLatin1(goForward));

    QTRY_COMPARE_WITH_TIMEOUT(targetText, sentence, 60000);
    const QString opened = homeDir->filePath(QStringLiteral("opened.txt"));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(opened), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(
        readFile(opened), QByteArray("https://search.jd.com/Search?keyword=%E8%80%B3%E6%9C%BA\n"),
        5000);

    // The utterance went to the stub as Mandarin, with the recorded WAV.
    QCOMPARE(stub.requests().size(), 1);
    const QByteArray request = stub.requests().first();
    QVERIFY(request.startsWith("POST /v1/audio/transcriptions "));
    QVERIFY(request.contains("Bearer e2e-secret"));
    QVERIFY(request.contains("name=\"language\"\r\n\r\nzh\r\n"));
    QVERIFY(request.contains("RIFF"));
    QVERIFY(!ferruleOutput.contains("e2e-secret"));
}

void TestEndToEnd::translationModeWithRemoteServices()
{
    // Mandarin recognized by the remote engine, translated into English by a
    // chat-completions service: both answered by the stub.
    const QString sentence = QStringLiteral("我们明天去北京");
    const QString translation = QStringLiteral("We are going to Beijing tomorrow.");
    StubHttpServer stub(StubHttpServer::Answer, 200, transcription(sentence));
    stub.setAnswer("/v1/chat/completions",
                   chatCompletion("<think>明天 is tomorrow.</think>\n\"" + translation + "\""));
    QVERIFY(stub.isListening());
    startWith(ferruleConfig(0, 0, 0, 0, 1, 0, 0),
              remoteSettings(stub.port()) +
                  "[translation]\nurl = http://127.0.0.1:" + QByteArray::number(stub.port()) +
                  "/v1\nmodel = qwen2.5\napi_key = e2e-translate\n");

    pressSpeakRelease(QString());

    QTRY_COMPARE_WITH_TIMEOUT(targetText, translation, 60000);
    QCOMPARE(stub.requests().size(), 2);
    const QByteArray request = stub.requests().at(1);
    QVERIFY(request.startsWith("POST /v1/chat/completions "));
    QVERIFY(request.contains("Bearer e2e-translate"));
    // Both texts in the log, the keys in none of it.
    QVERIFY(ferruleOutput.contains(sentence.toUtf8()));
    QVERIFY(ferruleOutput.contains("translation: Mandarin to English: " + translation.toUtf8()));
    QVERIFY(!ferruleOutput.contains("e2e-translate") && !ferruleOutput.contains("e2e-secret"));
}

void TestEndToEnd::staleRecordingsRecognizeNothing()
{
    // Only the audio of the recording a release has just ended is recognized:
    // nothing typed again, nothing uploaded again.
    const QString sentence = QStringLiteral("你好");
    StubHttpServer stub(StubHttpServer::Answer, 200, transcription(sentence));
    QVERIFY(stub.isListening());
    startWith(ferruleConfig(1, 0, 0, 0), remoteSettings(stub.port()));
    pressSpeakRelease(QString());
    QTRY_COMPARE_WITH_TIMEOUT(targetText, sentence, 30000);
    QCOMPARE(stub.requests().size(), 1);

    // A release without a press (another program's synthetic one).
    QVERIFY(xdotool("mouseup"));
    QVERIFY2(waitForOutput("no recording to recognize !", 10000), ferruleOutput.constData());

    // The folder cannot take record.raw any more (as when it became read-only).
    const QString raw = runDir->filePath(QStringLiteral("record.raw"));
    QVERIFY(QFile::remove(raw) && QDir().mkdir(raw));
    QVERIFY(xdotool("mousedown"));
    QVERIFY2(waitForOutput("./record.raw could not be opened", 10000), ferruleOutput.constData());
    QVERIFY(xdotool("mouseup"));
    QVERIFY2(waitForOutput("recording failed, nothing recognized !", 10000),
             ferruleOutput.constData());
    QVERIFY(!ferruleOutput.contains("device not open"));

    // record.wav replaced by a folder: the log says what failed.
    QVERIFY(QDir().rmdir(raw));
    const QString wav = runDir->filePath(QStringLiteral("record.wav"));
    QVERIFY(QFile::remove(wav) && QDir().mkdir(wav));
    pressSpeakRelease(QString());
    QVERIFY2(waitForOutput("recording failed, nothing recognized !", 10000, 2),
             ferruleOutput.constData());
    QVERIFY2(ferruleOutput.contains("./record.wav could not be written"),
             ferruleOutput.constData());

    QCOMPARE(stub.requests().size(), 1);
    QCOMPARE(targetText, sentence);
}

void TestEndToEnd::fileSizeLimit()
{
    // 5 s of audio: the first utterance fits, the second outgrows it. The trimmed
    // dictionary at start does not fit, nor the audio library's shared memory.
    const qint64 limit = 160000;
    QVERIFY(writeFile(runDir->filePath(QStringLiteral("config.txt")), ferruleConfig(1, 1, 0, 0)));
    startTarget();
    startFerrule(limit);
    QVERIFY2(waitForOutput("is loaded whole: its trimmed copy", 20000), ferruleOutput.constData());
    QVERIFY(ferruleOutput.contains("(File too large)"));

    pressSpeakRelease(QString::fromLatin1(goForward));
    QTRY_COMPARE_WITH_TIMEOUT(targetText, QStringLiteral("go forward ten meters"), 60000);

    QVERIFY(xdotool("mousedown"));
    QVERIFY2(waitForOutput("./record.raw could not be written: File too large", 20000),
             ferruleOutput.constData());
    QVERIFY(xdotool("mouseup"));
    QVERIFY2(waitForOutput("recording failed, nothing recognized !", 10000),
             ferruleOutput.constData());
    QCOMPARE(targetText, QStringLiteral("go forward ten meters"));
    QCOMPARE(ferrule->state(), QProcess::Running);
}

void TestEndToEnd::killedWhileTyping()
{
    // Enough different characters that typing lends keycodes for seconds.
    QString text;
    for (int i = 0; i < 1000; ++i)
        text += QChar(0x4e00 + i * 7);
    StubHttpServer stub(StubHttpServer::Answer, 200, transcription(text));
    QVERIFY(stub.isListening());
    QVERIFY(writeFile(runDir->filePath(QStringLiteral("config.txt")), ferruleConfig(1, 0, 0, 0)));
    QVERIFY(writeFile(runDir->filePath(QStringLiteral("speech.ini")), remoteSettings(stub.port())));
    startTarget();
    const QString before = keymap();
    startFerrule();
    pressSpeakRelease(QString());
    QTRY_VERIFY_WITH_TIMEOUT(keymap() != before, 30000);
    ferrule->kill();
    QVERIFY(ferrule->waitForFinished(5000));
    QVERIFY(keymap() != before);
    QVERIFY(targetText.size() < text.size());

    // The next start gives the keycodes back.
    startFerrule();
    QCOMPARE(keymap(), before);
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
