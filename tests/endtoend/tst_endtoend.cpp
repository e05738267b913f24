// The whole road with the real program: a side button held with xdotool,
// speech played into the microphone, the text arriving in another program's
// window, and in intelligent mode the page the command names being opened.
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
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

QByteArray config(int typing, int typingLanguage, int intelligence, int intelligenceLanguage)
{
    // Autostart off: the test's XDG_CONFIG_HOME is private anyway.
    return QStringLiteral("AutomaticUpdate=0\nBootUp=0\nClosePrompt=0\nIntelligenceLanguage=%4\n"
                          "IntelligenceModel=%3\nMonitorTalvoxMouseConnect=0\nNotUpdate=1\n"
                          "ReminderUpdate=0\nRemovePunctuation=0\nTranslationLanguage=0\n"
                          "TranslationModel=0\nTranslationResultLanguage=0\nTypingLanguage=%2\n"
                          "TypingModel=%1\n")
        .arg(typing)
        .arg(typingLanguage)
        .arg(intelligence)
        .arg(intelligenceLanguage)
        .toUtf8();
}

// One OpenAI-style transcription endpoint that answers every request with text.
class TranscriptionStub : public QTcpServer
{
public:
    explicit TranscriptionStub(const QString &text)
        : reply(QJsonDocument(QJsonObject{{"text", text}}).toJson())
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                auto buffer = std::make_shared<QByteArray>();
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                    *buffer += socket->readAll();
                    answerWhenComplete(socket, buffer.get());
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    QList<QByteArray> requests;

private:
    void answerWhenComplete(QTcpSocket *socket, QByteArray *buffer)
    {
        const int headerEnd = buffer->indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        int length = 0;
        for (const QByteArray &line : buffer->left(headerEnd).split('\n'))
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toInt();
        if (buffer->size() < headerEnd + 4 + length)
            return;
        requests << *buffer;
        buffer->clear();
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                      QByteArray::number(reply.size()) + "\r\nConnection: close\r\n\r\n" + reply);
        socket->disconnectFromHost();
    }

    QByteArray reply;
};

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void typingModeEnglish();
    void intelligentModeWithRemoteEngine();

private:
    void startTarget();
    void startFerrule();
    // Holds button 8 while the recording at path (if any) is played into the microphone.
    void pressSpeakRelease(const QString &path);
    bool waitForOutput(const QByteArray &line, int timeoutMs);
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
    const QString source = qEnvironmentVariable("FERRULE_SOURCE_DIR");
    for (const char *name : {"websearch.txt", "userwords.txt"})
        QVERIFY(QFile::copy(source + QStringLiteral("/data/") + QLatin1String(name),
                            runDir->filePath(QLatin1String(name))));

    // The desktop's URL opener, replaced by one that writes down what it was given.
    QVERIFY(QDir(homeDir->path()).mkpath(QStringLiteral("bin")));
    const QString opener = homeDir->filePath(QStringLiteral("bin/xdg-open"));
    QVERIFY(writeFile(opener, "#!/bin/sh\nprintf '%s\\n' \"$@\" >> \"$FERRULE_TEST_OPENED\"\n"));
    QVERIFY(QFile::setPermissions(opener, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QVERIFY(QDir(homeDir->path()).mkpath(QStringLiteral("tmp")));
    QVERIFY(QDir(homeDir->path()).mkpath(QStringLiteral("config")));
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
            if (line == "ready")
                targetReady = true;
            else if (line.startsWith("text "))
                targetText = QString::fromUtf8(QByteArray::fromBase64(line.mid(5)));
        }
    });
    target->start(QStringLiteral(FERRULE_E2E_TARGET), QStringList());
    QTRY_VERIFY_WITH_TIMEOUT(targetReady, 20000);
}

void TestEndToEnd::startFerrule()
{
    ferrule = std::make_unique<QProcess>();
    ferrule->setProcessChannelMode(QProcess::MergedChannels);
    ferrule->setWorkingDirectory(runDir->path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PATH"), homeDir->filePath(QStringLiteral("bin")) + QLatin1Char(':') +
                                           env.value(QStringLiteral("PATH")));
    env.insert(QStringLiteral("FERRULE_TEST_OPENED"),
               homeDir->filePath(QStringLiteral("opened.txt")));
    // A single-instance socket and an autostart folder of its own, away from other runs.
    env.insert(QStringLiteral("TMPDIR"), homeDir->filePath(QStringLiteral("tmp")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), homeDir->filePath(QStringLiteral("config")));
    ferrule->setProcessEnvironment(env);
    connect(ferrule.get(), &QProcess::readyRead, this,
            [this] { ferruleOutput += ferrule->readAll(); });
    ferrule->start(QStringLiteral(FERRULE_PROGRAM), QStringList());
    QVERIFY2(waitForOutput("Mouse hook installed !", 20000), ferruleOutput.constData());
}

bool TestEndToEnd::waitForOutput(const QByteArray &line, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!ferruleOutput.contains(line) && !deadline.hasExpired())
        QTest::qWait(20);
    return ferruleOutput.contains(line);
}

void TestEndToEnd::pressSpeakRelease(const QString &path)
{
    QCOMPARE(QProcess::execute(QStringLiteral("xdotool"),
                               {QStringLiteral("mousedown"), QStringLiteral("8")}),
             0);
    QVERIFY2(waitForOutput("Forward button down !", 10000), ferruleOutput.constData());
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
    QCOMPARE(QProcess::execute(QStringLiteral("xdotool"),
                               {QStringLiteral("mouseup"), QStringLiteral("8")}),
             0);
    QVERIFY2(waitForOutput("Forward button up !", 10000), ferruleOutput.constData());
}

void TestEndToEnd::typingModeEnglish()
{
    QVERIFY(writeFile(runDir->filePath(QStringLiteral("config.txt")), config(1, 1, 0, 0)));
    startTarget();
    startFerrule();

    pressSpeakRelease(QString::fromLatin1(goForward));

    QTRY_COMPARE_WITH_TIMEOUT(targetText, QStringLiteral("go forward ten meters"), 60000);
    QVERIFY(!QFile::exists(homeDir->filePath(QStringLiteral("opened.txt"))));
}

void TestEndToEnd::intelligentModeWithRemoteEngine()
{
    const QString sentence = QStringLiteral("在京东搜索耳机");
    TranscriptionStub stub(sentence);
    QVERIFY(stub.listen(QHostAddress::LocalHost, 0));
    QVERIFY(writeFile(runDir->filePath(QStringLiteral("config.txt")), config(0, 0, 1, 0)));
    QVERIFY(
        writeFile(runDir->filePath(QStringLiteral("speech.ini")),
                  QStringLiteral("[general]\nengine = remote\n[remote]\nurl = http://127.0.0.1:%1\n"
                                 "model = whisper-1\napi_key = e2e-secret\ntimeout = 10\n")
                      .arg(stub.serverPort())
                      .toUtf8()));
    startTarget();
    startFerrule();

    pressSpeakRelease(QString::fromLatin1(goForward));

    QTRY_COMPARE_WITH_TIMEOUT(targetText, sentence, 60000);
    const QString opened = homeDir->filePath(QStringLiteral("opened.txt"));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(opened), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(
        readFile(opened), QByteArray("https://search.jd.com/Search?keyword=%E8%80%B3%E6%9C%BA\n"),
        5000);

    // The utterance went to the stub as Mandarin, with the recorded WAV.
    QCOMPARE(stub.requests.size(), 1);
    const QByteArray request = stub.requests.first();
    QVERIFY(request.startsWith("POST /v1/audio/transcriptions "));
    QVERIFY(request.contains("Bearer e2e-secret"));
    QVERIFY(request.contains("name=\"language\"\r\n\r\nzh\r\n"));
    QVERIFY(request.contains("RIFF"));
    QVERIFY(!ferruleOutput.contains("e2e-secret"));
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
