// What a huge userwords.txt costs one utterance, step by step: reading the file,
// parsing the word list, an embedded-engine utterance with the list uploaded (and
// without it), and what the remote engine sends as its prompt. Prints figures,
// never fails on time.
//
//   SUMMARY userwords size_mb=S read_s=R parse_lines_s=P parse_json_s=J
//           utterance_s=U utterance_without_s=W prompt_bytes=B

#include "common/stubhttpserver.h"
#include "speech/sdkfeeder.h"

#include "recognition/userwordlist.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {
const char ENG[] =
    "sub = iat, domain = iat, language = en_us, sample_rate = 16000, result_type = plain, "
    "result_encoding = utf-8";

// Made-up words, each once, one per line: none is in the dictionary, as in a list
// of names; every 100th is an English word the language model knows.
QByteArray wordList(qint64 bytes)
{
    QByteArray list;
    list.reserve(int(bytes + 32));
    for (int i = 0; list.size() < bytes; ++i)
        list += i % 100 == 0 ? QByteArray("forward\n") : "ferrule" + QByteArray::number(i) + '\n';
    return list;
}

QByteArray asJson(const QByteArray &lines)
{
    QByteArray json = R"({"userword":[{"name":"mine","words":[)";
    bool first = true;
    for (const QByteArray &word : lines.split('\n')) {
        if (word.isEmpty())
            continue;
        json += (first ? "\"" : ",\"") + word + '"';
        first = false;
    }
    return json + "]}]}";
}

double seconds(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e9;
}

double utterance(const QByteArray &login, const QByteArray &words, const QByteArray &audio,
                 QByteArray *text)
{
    QElapsedTimer timer;
    timer.start();
    uploadWordsThroughSdk(login, words);
    const SdkRun run = recognizeThroughSdk(audio, ENG, 5, login.constData());
    *text = run.error == 0 ? run.text : "error " + QByteArray::number(run.error);
    return seconds(timer);
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    const double megabytes = argc > 1 ? QByteArray(argv[1]).toDouble() : 50;
    QFile recording(QStringLiteral("/usr/share/pocketsphinx/test/data/goforward.raw"));
    if (!recording.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read goforward.raw (package pocketsphinx-testdata)\n");
        return 1;
    }
    const QByteArray audio = recording.readAll();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("userwords.txt"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(wordList(qint64(megabytes * 1024 * 1024))) < 0)
            return 1;
    }

    QElapsedTimer timer;
    timer.start();
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QByteArray lines = file.readAll();
    const double read = seconds(timer);
    timer.restart();
    const int parsed = UserWordList::parse(lines).words.size();
    const double parseLines = seconds(timer);
    const QByteArray json = asJson(lines);
    timer.restart();
    UserWordList::parse(json);
    const double parseJson = seconds(timer);
    std::printf("%.1f MB of words: read in %.3f s, parsed in %.3f s as lines (%d words taken), "
                "%.3f s as JSON\n",
                lines.size() / 1048576.0, read, parseLines, parsed, parseJson);

    // The embedded engine, its model loaded first, as at start-up.
    QFile ini(dir.filePath(QStringLiteral("speech.ini")));
    ini.open(QIODevice::WriteOnly);
    ini.write("result_timeout = 600\n");
    ini.close();
    const QByteArray login = "appid = 4d7c2a19, work_dir = " + dir.path().toUtf8();
    QByteArray text;
    utterance(login, QByteArray(), audio, &text);
    const double without = utterance(login, QByteArray(), audio, &text);
    std::printf("utterance without user words: %.3f s, heard \"%s\"\n", without, text.constData());
    const double with = utterance(login, lines, audio, &text);
    std::printf("utterance with them: %.3f s, heard \"%s\"\n", with, text.constData());
    const double again = utterance(login, lines, audio, &text);
    std::printf("the next utterance with them: %.3f s\n", again);

    // The remote engine: what the prompt carries.
    StubHttpServer server(StubHttpServer::Answer, 200, R"({"text":"go"})");
    QTemporaryDir remoteDir;
    QFile remoteIni(remoteDir.filePath(QStringLiteral("speech.ini")));
    remoteIni.open(QIODevice::WriteOnly);
    remoteIni.write("engine = remote\n[remote]\nurl = http://127.0.0.1:" +
                    QByteArray::number(server.port()) + "\ntimeout = 60\n");
    remoteIni.close();
    const QByteArray remoteLogin = "appid = 4d7c2a19, work_dir = " + remoteDir.path().toUtf8();
    const double remote = utterance(remoteLogin, lines, audio, &text);
    const QList<QByteArray> requests = server.requests();
    const QByteArray request = requests.value(0);
    const int start = request.indexOf("name=\"prompt\"");
    const int end = request.indexOf("\r\n--", start);
    const int promptBytes = start < 0 ? 0 : end - request.indexOf("\r\n\r\n", start) - 4;
    std::printf("remote utterance: %.3f s, request of %d bytes, prompt of %d bytes\n", remote,
                request.size(), promptBytes);

    std::printf("SUMMARY userwords size_mb=%.1f read_s=%.3f parse_lines_s=%.3f parse_json_s=%.3f "
                "utterance_s=%.3f utterance_without_s=%.3f prompt_bytes=%d\n",
                megabytes, read, parseLines, parseJson, with, without, promptBytes);
    return 0;
}
