// The remote engine against a small HTTP server of the test's own on 127.0.0.1: what
// the request carries, a good reply, and every way a server can fail us, each with
// its error code, log line and prompt, and never a hang.

#include "common/logcapture.h"
#include "common/peakmemory.h"
#include "common/stubhttpserver.h"
#include "speech/sdkfeeder.h"

#include "recognition/speecherror.h"
#include "recognition/speechsdk.h"

#include "recognition/speechparams.h"

#include <QElapsedTimer>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
using namespace SpeechParams;
const char apiKey[] = "sk-test-5f2e9a";

QByteArray recording()
{
    QFile file(QStringLiteral("/usr/share/pocketsphinx/test/data/cards/001.wav"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Request
{
    QByteArray requestLine;
    QMap<QByteArray, QByteArray> headers; // lower-case names
    QMap<QByteArray, QByteArray> fields;  // multipart field name -> content
    QMap<QByteArray, QByteArray> partHeaders;
};

Request parse(const QByteArray &raw)
{
    Request r;
    const int end = raw.indexOf("\r\n\r\n");
    const QList<QByteArray> lines = raw.left(end).split('\n');
    r.requestLine = lines.value(0).trimmed();
    for (int i = 1; i < lines.size(); ++i) {
        const int colon = lines[i].indexOf(':');
        if (colon > 0)
            r.headers.insert(lines[i].left(colon).trimmed().toLower(),
                             lines[i].mid(colon + 1).trimmed());
    }
    QByteArray boundary = r.headers.value("content-type");
    boundary = boundary.mid(boundary.indexOf("boundary=") + 9);
    if (boundary.startsWith('"'))
        boundary = boundary.mid(1, boundary.size() - 2);
    const QByteArray body = raw.mid(end + 4);
    const QByteArray delimiter = "--" + boundary;
    int pos = body.indexOf(delimiter);
    while (pos >= 0) {
        const int start = pos + delimiter.size() + 2; // past "\r\n"
        const int next = body.indexOf("\r\n" + delimiter, start);
        if (next < 0)
            break;
        const QByteArray part = body.mid(start, next - start);
        const int headerEnd = part.indexOf("\r\n\r\n");
        const QByteArray headers = part.left(headerEnd);
        const QRegularExpression nameRe(QStringLiteral("name=\"([^\"]+)\""));
        const QByteArray name = nameRe.match(QString::fromUtf8(headers)).captured(1).toUtf8();
        r.fields.insert(name, part.mid(headerEnd + 4));
        r.partHeaders.insert(name, headers);
        pos = next + 2;
    }
    return r;
}

// A work_dir whose speech.ini points the remote engine at the port.
struct RemoteWorkDir
{
    QTemporaryDir dir;
    QByteArray login;
    RemoteWorkDir(quint16 port, const QByteArray &extra = QByteArray(),
                  const QByteArray &timeout = "1")
    {
        QFile file(dir.filePath(QStringLiteral("speech.ini")));
        if (file.open(QIODevice::WriteOnly))
            file.write("engine = remote\nresult_timeout = 10\n[remote]\nurl = http://127.0.0.1:" +
                       QByteArray::number(port) + "\nmodel = whisper-1\napi_key = " + apiKey +
                       "\nconnect_timeout = 1\ntimeout = " + timeout + "\n" + extra);
        login = "appid = 4d7c2a19, work_dir = " + dir.path().toUtf8();
    }
};
} // namespace

class RemoteEngineTest : public QObject
{
    Q_OBJECT

private slots:
    void requestAndReply()
    {
        StubHttpServer server(StubHttpServer::Answer, 200,
                              R"({"text":"  go forward ten meters "})");
        RemoteWorkDir work(server.port());
        LogCapture log;
        uploadWordsThroughSdk(work.login,
                              R"({"userword":[{"name":"mine","words":["Ferrule","塔沃鼠标"]}]})");
        const QByteArray audio = recording();
        QVERIFY(audio.size() > 44);
        const SdkRun run = recognizeThroughSdk(audio, ENG, 20, work.login.constData());
        QCOMPARE(run.error, 0);
        QCOMPARE(run.text, QByteArray("go forward ten meters"));

        QCOMPARE(server.requests().size(), 1);
        const Request r = parse(server.requests().first());
        QCOMPARE(r.requestLine, QByteArray("POST /v1/audio/transcriptions HTTP/1.1"));
        QCOMPARE(r.headers.value("authorization"), QByteArray("Bearer ") + apiKey);
        QVERIFY(r.headers.value("content-type").startsWith("multipart/form-data"));
        QCOMPARE(r.fields.value("model"), QByteArray("whisper-1"));
        QCOMPARE(r.fields.value("language"), QByteArray("en"));
        QCOMPARE(QString::fromUtf8(r.fields.value("prompt")), QStringLiteral("Ferrule, 塔沃鼠标"));
        QCOMPARE(r.fields.value("response_format"), QByteArray("json"));
        QVERIFY(r.partHeaders.value("file").contains("filename=\"record.wav\""));
        const QByteArray file = r.fields.value("file");
        QVERIFY(file.startsWith("RIFF"));
        QCOMPARE(file.size(), audio.size());
        QVERIFY(file.mid(44) == audio.mid(44)); // the samples, whole, under a header of our own

        // The key is a secret: no log line shows it.
        for (const QString &line : log.lines())
            QVERIFY2(!line.contains(QLatin1String(apiKey)), qPrintable(line));
    }

    void languageField_data()
    {
        QTest::addColumn<QByteArray>("params");
        QTest::addColumn<QByteArray>("extra");
        QTest::addColumn<QByteArray>("language");
        QTest::newRow("Mandarin") << QByteArray(MAN) << QByteArray() << QByteArray("zh");
        QTest::newRow("Cantonese") << QByteArray(CAN) << QByteArray() << QByteArray("yue");
        QTest::newRow("Cantonese as the server calls it")
            << QByteArray(CAN) << QByteArray("language.cantonese = zh\n") << QByteArray("zh");
        QTest::newRow("unmapped language: the server guesses")
            << QByteArray("language = fr_fr") << QByteArray() << QByteArray();
    }
    void languageField()
    {
        QFETCH(QByteArray, params);
        QFETCH(QByteArray, extra);
        QFETCH(QByteArray, language);
        StubHttpServer server(StubHttpServer::Answer, 200, R"({"text":"你好"})");
        RemoteWorkDir work(server.port(), extra);
        const SdkRun run =
            recognizeThroughSdk(recording(), params.constData(), 20, work.login.constData());
        QCOMPARE(run.error, 0);
        QCOMPARE(QString::fromUtf8(run.text), QStringLiteral("你好"));
        QCOMPARE(server.requests().size(), 1);
        const Request r = parse(server.requests().first());
        QCOMPARE(r.fields.value("language"), language);
        QCOMPARE(r.fields.contains("language"), !language.isEmpty());
    }

    void failures_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("logged");
        QTest::addColumn<QString>("prompt");
        QTest::newRow("401") << int(StubHttpServer::Answer) << 401
                             << QByteArray(R"({"error":{"message":"Incorrect API key"}})")
                             << SpeechError::ServerRejected
                             << "refused the request with HTTP 401 (Incorrect API key)"
                             << "语音服务拒绝了请求";
        QTest::newRow("error body with a forged line and a terminal title")
            << int(StubHttpServer::Answer) << 401
            << QByteArray(
                   "{\"error\":{\"message\":\"bad key\\nspeech: ok\\u001b]0;owned\\u0007\"}}")
            << SpeechError::ServerRejected << "HTTP 401 (bad key\\nspeech: ok\\x1b]0;owned\\x07)"
            << "语音服务拒绝了请求";
        QTest::newRow("404") << int(StubHttpServer::Answer) << 404 << QByteArray("not found")
                             << SpeechError::ServerRejected << "HTTP 404"
                             << "语音服务拒绝了请求";
        QTest::newRow("500") << int(StubHttpServer::Answer) << 500 << QByteArray()
                             << SpeechError::ServerRejected << "HTTP 500"
                             << "语音服务拒绝了请求";
        QTest::newRow("reply never comes")
            << int(StubHttpServer::NeverAnswer) << 0 << QByteArray() << SpeechError::ServerTimeout
            << "did not answer within 1 s"
            << "语音服务没有响应";
        QTest::newRow("malformed JSON")
            << int(StubHttpServer::Answer) << 200 << QByteArray(R"({"text": "go)")
            << SpeechError::BadReply << "is not JSON with a \"text\" string"
            << "语音服务回复有误";
        QTest::newRow("JSON without text")
            << int(StubHttpServer::Answer) << 200 << QByteArray(R"({"txt":"go"})")
            << SpeechError::BadReply << "starting {\"txt\""
            << "语音服务回复有误";
        QTest::newRow("text not a string")
            << int(StubHttpServer::Answer) << 200 << QByteArray(R"({"text":5})")
            << SpeechError::BadReply << "\"text\" string"
            << "语音服务回复有误";
        QTest::newRow("connection closed")
            << int(StubHttpServer::Close) << 0 << QByteArray() << SpeechError::ServerUnreachable
            << "cannot reach the speech server"
            << "语音服务无法连接";
        QTest::newRow("reply that never ends")
            << int(StubHttpServer::Endless) << 200 << QByteArray() << SpeechError::BadReply
            << "is longer than 1048576 bytes, far more than a transcription; reading stopped"
            << "语音服务回复有误";
    }
    void failures()
    {
        QFETCH(int, mode);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, code);
        QFETCH(QString, logged);
        QFETCH(QString, prompt);
        StubHttpServer server(StubHttpServer::Mode(mode), status, body);
        RemoteWorkDir work(server.port());
        LogCapture log;
        const QByteArray audio = recording();
        QVERIFY(resetPeakResident());
        const qint64 before = residentKb();
        QElapsedTimer timer;
        timer.start();
        const SdkRun run = recognizeThroughSdk(audio, ENG, 20, work.login.constData());
        // However long the reply, it costs about its bound at most, and is let go.
        const qint64 grownKb = peakResidentKb() - before;
        QVERIFY2(grownKb < 32 * 1024, qPrintable(QString::number(grownKb)));
        if (mode == StubHttpServer::Endless) // past the log capture
            std::fprintf(stderr,
                         "endless reply: over after %lld ms, peak %lld kB above the start\n",
                         qint64(timer.elapsed()), grownKb);
        QCOMPARE(run.error, code);
        QCOMPARE(QByteArray(run.failedCall), QByteArray("RecogGetResult"));
        QVERIFY(run.text.isEmpty());
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY2(log.contains(logged), qPrintable(log.lines().join(QLatin1Char('\n'))));
        QVERIFY(log.contains(QStringLiteral("127.0.0.1:%1").arg(server.port())));
        for (const QString &line : log.lines())
            QVERIFY2(!line.contains(QLatin1Char('\n')) && !line.contains(QChar(0x1b)),
                     qPrintable(line));
        QCOMPARE(QString::fromUtf8(SpeechErrorPrompt(code)), prompt);
    }

    void redirectToAnotherOriginCarriesNoKey()
    {
        // Another port is another origin: the key must not follow the redirect there.
        StubHttpServer elsewhere(StubHttpServer::Answer, 200, R"({"text":"stolen"})");
        const QByteArray target =
            "http://127.0.0.1:" + QByteArray::number(elsewhere.port()) + "/collect";
        StubHttpServer server(StubHttpServer::Answer, 307, QByteArray(),
                              "Location: " + target + "\r\n");
        RemoteWorkDir work(server.port());
        LogCapture log;
        const SdkRun run = recognizeThroughSdk(recording(), ENG, 20, work.login.constData());
        QCOMPARE(run.error, SpeechError::ServerRejected);
        QVERIFY(run.text.isEmpty());
        QCOMPARE(server.requests().size(), 1);
        QVERIFY(elsewhere.requests().isEmpty());
        QVERIFY2(log.contains(QStringLiteral("redirect")) &&
                     log.contains(QString::fromLatin1(target)),
                 qPrintable(log.lines().join(QLatin1Char('\n'))));
        for (const QString &line : log.lines())
            QVERIFY2(!line.contains(QLatin1String(apiKey)), qPrintable(line));
    }

    void closedPort()
    {
        const quint16 port = StubHttpServer::closedPort();
        QVERIFY(port != 0);
        RemoteWorkDir work(port);
        LogCapture log;
        const SdkRun run = recognizeThroughSdk(recording(), ENG, 20, work.login.constData());
        QCOMPARE(run.error, SpeechError::ServerUnreachable);
        QVERIFY2(
            log.contains(
                QStringLiteral("cannot reach the speech server at http://127.0.0.1:%1").arg(port)),
            qPrintable(log.lines().join(QLatin1Char('\n'))));
        QCOMPARE(QString::fromUtf8(SpeechErrorPrompt(run.error)),
                 QStringLiteral("语音服务无法连接"));
    }

    void connectionNeverAccepted()
    {
        // A listening socket whose queue is full and which never accepts: the kernel
        // drops further connection attempts, so the connection is never made.
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        QVERIFY(listener >= 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        QCOMPARE(::bind(listener, reinterpret_cast<sockaddr *>(&address), length), 0);
        QCOMPARE(::listen(listener, 0), 0);
        QCOMPARE(::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length), 0);
        const quint16 port = ntohs(address.sin_port);
        std::vector<std::unique_ptr<QTcpSocket>> fillers;
        for (int i = 0; i < 4; ++i) {
            fillers.push_back(std::make_unique<QTcpSocket>());
            fillers.back()->connectToHost(QHostAddress::LocalHost, port);
            fillers.back()->waitForConnected(300);
        }

        RemoteWorkDir work(port, QByteArray(), "20");
        LogCapture log;
        QElapsedTimer timer;
        timer.start();
        const SdkRun run = recognizeThroughSdk(recording(), ENG, 20, work.login.constData());
        ::close(listener);
        QCOMPARE(run.error, SpeechError::ServerTimeout);
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY2(log.contains(QStringLiteral("did not accept the connection within 1 s")),
                 qPrintable(log.lines().join(QLatin1Char('\n'))));
    }

    void abandonedRequestDoesNotHoldUpTheNext()
    {
        // A long total time-out; the caller gives up after its own polling time-out and
        // ends the session: the next session must begin at once, not after 30 s.
        StubHttpServer server(StubHttpServer::NeverAnswer);
        RemoteWorkDir work(server.port(), QByteArray(), "30");
        QCOMPARE(SpeechLogin(nullptr, nullptr, work.login.constData()), 0);
        int error = -1;
        const char *session = RecogSessionBegin(nullptr, ENG, &error);
        QCOMPARE(error, 0);
        int endpoint = 0;
        int recognition = 0;
        const QByteArray audio = recording();
        QCOMPARE(RecogAudioWrite(session, audio.constData(), unsigned(audio.size()), 1, &endpoint,
                                 &recognition),
                 0);
        QCOMPARE(RecogAudioWrite(session, nullptr, 0, SPEECH_AUDIO_LAST, &endpoint, &recognition),
                 0);
        QTRY_COMPARE_WITH_TIMEOUT(server.requests().size(), 1, 5000);
        QVERIFY(!RecogGetResult(session, &recognition, 0, &error));
        QCOMPARE(recognition, int(SPEECH_REC_INCOMPLETE));
        RecogSessionEnd(session, "");
        SpeechLogout();

        QElapsedTimer timer;
        timer.start();
        QCOMPARE(SpeechLogin(nullptr, nullptr, work.login.constData()), 0);
        session = RecogSessionBegin(nullptr, ENG, &error);
        QCOMPARE(error, 0);
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
        RecogSessionEnd(session, "");
        SpeechLogout();
    }
};

QTEST_GUILESS_MAIN(RemoteEngineTest)
#include "tst_remoteengine.moc"
