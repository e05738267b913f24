// What our side adds to a recognition by the remote engine: a recognition session
// (QuilletIat, as the release runs it) against an OpenAI-compatible server on
// 127.0.0.1 that answers at once. The upload can only start at the release (the
// service wants the whole file); the figures are the time from the release to the
// request having arrived whole at the server, and from the server's answer to the
// text handed to typing. Averages over a few rounds per utterance length.
//
//   SUMMARY remote utterance_s=D release_to_request_s=A answer_to_typed_s=B
#include "common/recordingplatform.h"
#include "common/stubhttpserver.h"

#include "app/settingkeys.h"
#include "app/settings.h"
#include "recognition/quilletiat.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>

namespace {
using Clock = std::chrono::steady_clock;
const QString testData = QStringLiteral("/usr/share/pocketsphinx/test/data/");

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

QByteArray samplesOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    return bytes.startsWith("RIFF") ? bytes.mid(44) : bytes;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QByteArray wavOf(const QByteArray &pcm)
{
    QByteArray header(
        "RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x80\x3e\0\0\0\x7d\0\0\x02\0\x10\0data"
        "\0\0\0\0",
        44);
    const quint32 n = quint32(pcm.size());
    for (int i = 0; i < 4; ++i) {
        header[4 + i] = char(((n + 36) >> (8 * i)) & 0xff);
        header[40 + i] = char((n >> (8 * i)) & 0xff);
    }
    return header + pcm;
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    QApplication app(argc, argv);
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    StubHttpServer server(StubHttpServer::Answer, 200, R"({"text":"ten of clubs"})");
    if (!writeFile(QStringLiteral("speech.ini"),
                   "engine = remote\n[remote]\nurl = http://127.0.0.1:" +
                       QByteArray::number(server.port()) + "\nmodel = whisper-1\n") ||
        !writeFile(QStringLiteral("userwords.txt"), "Ferrule\n")) {
        std::fprintf(stderr, "cannot write the run folder\n");
        return 1;
    }
    SettingsMap &settings = *settingsMap();
    settings[SettingKey::TypingModel] = 1;
    settings[SettingKey::TypingLanguage] = English;

    // The text is handed to typing, and nothing is typed.
    struct TimedPlatform : RecordingPlatform
    {
        Clock::time_point typedAt;
        int type(const QString &text, const TypingTarget &) override
        {
            typedAt = Clock::now();
            return text.size();
        }
    };
    auto *desktop = new TimedPlatform;
    installPlatform(std::unique_ptr<Platform>(desktop));
    Clock::time_point &typedAt = desktop->typedAt;

    const QList<QPair<const char *, QStringList>> utterances{
        {"1", {testData + QStringLiteral("cards/001.wav")}},
        {"10",
         {testData + QStringLiteral("librivox/sense_and_sensibility_01_austen_64kb-0870.wav"),
          testData + QStringLiteral("librivox/sense_and_sensibility_01_austen_64kb-0880.wav")}},
    };
    const int rounds = 10;
    for (const auto &utterance : utterances) {
        QByteArray pcm;
        for (const QString &part : utterance.second)
            pcm += samplesOf(part);
        if (pcm.isEmpty() || !writeFile(QStringLiteral("record.wav"), wavOf(pcm))) {
            std::fprintf(stderr, "missing test recording %s\n",
                         qPrintable(utterance.second.join(' ')));
            return 1;
        }
        double toRequest = 0;
        double toTyped = 0;
        int done = 0;
        for (int round = 0; round < rounds; ++round) {
            const int answered = server.answerTimes().size();
            typedAt = Clock::time_point();
            const Clock::time_point released = Clock::now();
            {
                QuilletIat recognizer(nullptr);
            }
            if (typedAt == Clock::time_point() || server.answerTimes().size() != answered + 1) {
                std::fprintf(stderr, "round %d: no text typed\n", round);
                continue;
            }
            toRequest += seconds(server.requestTimes().last() - released);
            toTyped += seconds(typedAt - server.answerTimes().last());
            ++done;
        }
        if (done == 0)
            return 1;
        std::printf("SUMMARY remote utterance_s=%.2f release_to_request_s=%.4f "
                    "answer_to_typed_s=%.4f\n",
                    pcm.size() / 32000.0, toRequest / done, toTyped / done);
    }
    return 0;
}
