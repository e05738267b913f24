// speech.ini, parameter strings, user word lists, endpoint URLs and end-of-speech
// detection: the pure parts of the speech SDK.

#include "recognition/endpointdetector.h"
#include "recognition/remoteengine.h"
#include "recognition/serviceclient.h"
#include "recognition/speechconfig.h"
#include "recognition/speechsdk.h"
#include "recognition/userwordlist.h"

#include "recognition/speechparams.h"

#include <QtTest>

#include <cmath>

namespace {
const QByteArray MAN = SpeechParams::MAN;
const QByteArray ENG = SpeechParams::ENG;
const QByteArray CAN = SpeechParams::CAN;

// 16 kHz PCM: silence (a little noise) and a loud vowel-like tone, in seconds.
QByteArray pcm(const QList<QPair<bool, double>> &parts)
{
    QByteArray out;
    quint32 seed = 1;
    for (const auto &part : parts) {
        const int samples = int(part.second * 16000);
        for (int i = 0; i < samples; ++i) {
            seed = seed * 1103515245 + 12345;
            double v = int((seed >> 16) % 21) - 10; // background noise, about 6 LSB RMS
            if (part.first)
                v += 6000 * std::sin(2 * M_PI * 220 * i / 16000.0) +
                     2000 * std::sin(2 * M_PI * 1100 * i / 16000.0);
            const qint16 s = qint16(v);
            out.append(reinterpret_cast<const char *>(&s), 2);
        }
    }
    return out;
}
} // namespace

class SpeechConfigTest : public QObject
{
    Q_OBJECT

private slots:
    void languageName_data()
    {
        QTest::addColumn<QByteArray>("params");
        QTest::addColumn<QString>("language");
        QTest::newRow("MAN") << MAN << "mandarin";
        QTest::newRow("ENG") << ENG << "english";
        QTest::newRow("CAN") << CAN << "cantonese";
        QTest::newRow("zh_cn without accent") << QByteArray("language = zh_cn") << "mandarin";
        QTest::newRow("no language") << QByteArray("sub = iat") << "mandarin";
        QTest::newRow("other language") << QByteArray("language = fr_fr, accent = x") << "fr_fr";
        QTest::newRow("no spaces") << QByteArray("language=en_us") << "english";
    }
    void languageName()
    {
        QFETCH(QByteArray, params);
        QFETCH(QString, language);
        QCOMPARE(speechLanguageName(params), language);
    }

    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>(
            "check"); // "key=value" of a field to compare, or part of the error
        QTest::newRow("empty") << "" << true << "engine=embedded";
        QTest::newRow("comments") << "# engine = remote\n; x\n\nengine = embedded\n"
                                  << true << "engine=embedded";
        QTest::newRow("remote")
            << "engine = remote\n[remote]\nurl = http://127.0.0.1:9/v1\nmodel = whisper-1\n"
               "api_key = sk-1\nconnect_timeout = 0.5\ntimeout = 2\n"
            << true << "remote=http://127.0.0.1:9/v1 whisper-1 sk-1 500 2000";
        QTest::newRow("result timeout") << "result_timeout = 1.5\n"
                                        << true << "result_timeout=1500";
        QTest::newRow("comment after a value")
            << "[remote]\nurl = http://h/a#b   # the server\nmodel = m ; x\n"
               "api_key = k\t# secret\n"
            << true << "remote=http://h/a#b m k 5000 15000";
        QTest::newRow("general section") << "[general]\nresult_timeout = 3\nend_of_speech = 0.8\n"
                                         << true << "result_timeout=3000";
        QTest::newRow("mandarin model, relative paths")
            << "[model.mandarin]\nacoustic_model = zh/hmm\nlanguage_model = "
               "/m/zh.lm.bin\ndictionary = zh.dic\n"
            << true << "mandarin=/base/zh/hmm /m/zh.lm.bin /base/zh.dic";
        QTest::newRow("english kept by default")
            << "" << true << "english=/usr/share/pocketsphinx/model/en-us/en-us";
        QTest::newRow("translation")
            << "[translation]\nurl = http://127.0.0.1:8081\nmodel = qwen2.5\napi_key = sk-2\n"
               "connect_timeout = 2\ntimeout = 30\n"
            << true << "translation=http://127.0.0.1:8081 qwen2.5 sk-2 2000 30000";
        QTest::newRow("translation defaults") << "[translation]\nurl = http://h\n"
                                              << true << "translation=http://h   5000 15000";
        QTest::newRow("bad translation time-out") << "[translation]\ntimeout = 0\n"
                                                  << false << "line 2";
        QTest::newRow("remote language code") << "[remote]\nlanguage.cantonese = zh\n"
                                              << true << "cantonese=zh";
        QTest::newRow("unknown engine") << "engine = cloud\n" << false << "line 1";
        QTest::newRow("unknown key") << "\nspeed = 3\n" << false << "line 2";
        QTest::newRow("bad time-out") << "result_timeout = soon\n" << false << "result_timeout";
        QTest::newRow("negative time-out") << "result_timeout = -1\n" << false << "result_timeout";
        QTest::newRow("CR LF line ends") << "result_timeout = 2\r\n"
                                         << true << "result_timeout=2000";
        QTest::newRow("CR inside api_key")
            << "[remote]\nurl = http://h\napi_key = sk-1\rX-Forged: 1\n"
            << false << "line 3: control character in the value of api_key";
        QTest::newRow("ESC inside url") << "[translation]\nurl = http://h/\x1b]0;x\x07\n"
                                        << false << "line 2: control character in the value of url";
        QTest::newRow("control character in a key")
            << "\nresult\x7f_timeout = 2\n"
            << false << "line 2: control character in a key";
        QTest::newRow("nan") << "result_timeout = nan\n" << false << "line 1: unknown key or bad";
        QTest::newRow("inf") << "[remote]\ntimeout = inf\n" << false << "line 2: unknown key";
        QTest::newRow("over an hour") << "end_of_speech = 3601\n" << false << "line 1";
        QTest::newRow("below a millisecond") << "[translation]\nconnect_timeout = 1e-9\n"
                                             << false << "line 2";
        QTest::newRow("unknown section") << "[misc]\na = b\n" << false << "[misc]";
        QTest::newRow("header without bracket") << "[remote\n" << false << "line 1";
        QTest::newRow("line without =") << "engine\n" << false << "key = value";
        QTest::newRow("remote without url") << "engine = remote\n" << false << "url";
        QTest::newRow("incomplete model") << "[model.cantonese]\nacoustic_model = /a\n"
                                          << false << "model.cantonese";
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QString, check);
        SpeechConfig config;
        QString error;
        QCOMPARE(SpeechConfig::parse(text, QStringLiteral("/base"), &config, &error), ok);
        if (!ok) {
            QVERIFY2(error.contains(check), qPrintable(error));
            return;
        }
        const QString key = check.section(QLatin1Char('='), 0, 0);
        const QString value = check.section(QLatin1Char('='), 1);
        if (key == QLatin1String("engine"))
            QCOMPARE(config.engine == SpeechConfig::Engine::Remote ? QStringLiteral("remote")
                                                                   : QStringLiteral("embedded"),
                     value);
        else if (key == QLatin1String("remote"))
            QCOMPARE(QStringList({config.url, config.model, config.apiKey,
                                  QString::number(config.connectTimeoutMs),
                                  QString::number(config.requestTimeoutMs)})
                         .join(QLatin1Char(' ')),
                     value);
        else if (key == QLatin1String("translation"))
            QCOMPARE(QStringList({config.translation.url, config.translation.model,
                                  config.translation.apiKey,
                                  QString::number(config.translation.connectTimeoutMs),
                                  QString::number(config.translation.requestTimeoutMs)})
                         .join(QLatin1Char(' ')),
                     value);
        else if (key == QLatin1String("result_timeout"))
            QCOMPARE(QString::number(config.resultTimeoutMs), value);
        else if (key == QLatin1String("cantonese"))
            QCOMPARE(config.remoteLanguages.value(key), value);
        else {
            const SpeechModelPaths paths = config.models.value(key);
            QCOMPARE(QStringList({paths.acousticModel, paths.languageModel, paths.dictionary})
                         .join(QLatin1Char(' '))
                         .left(value.size()),
                     value);
        }
    }

    void sampleFile()
    {
        // data/speech.ini is copied into every new run folder: as shipped it must
        // mean the defaults, and each example in it must be valid once uncommented.
        QFile file(qEnvironmentVariable("FERRULE_SOURCE_DIR") + QStringLiteral("/data/speech.ini"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        SpeechConfig shipped;
        SpeechConfig defaults;
        QString error;
        QVERIFY2(SpeechConfig::parse(text, QStringLiteral("/run"), &shipped, &error),
                 qPrintable(error));
        QVERIFY(SpeechConfig::parse(QString(), QStringLiteral("/run"), &defaults, &error));
        QVERIFY(shipped == defaults);

        QString uncommented = text;
        uncommented.replace(
            QRegularExpression(QStringLiteral("^#(?=\\S)"), QRegularExpression::MultilineOption),
            QString());
        SpeechConfig all;
        QVERIFY2(SpeechConfig::parse(uncommented, QStringLiteral("/run"), &all, &error),
                 qPrintable(error));
        QCOMPARE(all.models.keys(), (QStringList{"cantonese", "english", "mandarin"}));
        QCOMPARE(all.models.value(QStringLiteral("mandarin")).dictionary,
                 QStringLiteral("/run/models/zh_cn/zh_cn.dic"));
        QCOMPARE(all.url, QStringLiteral("http://127.0.0.1:8080/v1/audio/transcriptions"));
        QCOMPARE(all.requestTimeoutMs, 15000);
        QVERIFY(shipped.translation.url.isEmpty());
        QVERIFY(!all.translation.url.isEmpty());
        QCOMPARE(all.resultTimeoutMs, 20000);
    }

    void userWords_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QString>("leftOut");
        QTest::newRow("json") << QByteArray(
                                     R"({"userword":[{"name":"a","words":["塔沃鼠标","智能模式"]},)"
                                     R"({"name":"b","words":["Ferrule"," "]}]})")
                              << QStringList{QStringLiteral("塔沃鼠标"), QStringLiteral("智能模式"),
                                             QStringLiteral("Ferrule")}
                              << QString();
        QTest::newRow("lines") << QByteArray("alpha\r\nbeta\n\n gamma \n")
                               << QStringList{"alpha", "beta", "gamma"} << QString();
        QTest::newRow("commas") << QByteArray("one, two,three")
                                << QStringList{"one", "two", "three"} << QString();
        QTest::newRow("empty") << QByteArray() << QStringList() << QString();

        // The bounds: 1000 words of at most 64 characters, from the first MB.
        QStringList many;
        QByteArray lines;
        for (int i = 0; i < 1500; ++i) {
            many << QStringLiteral("w%1").arg(i);
            lines += "w" + QByteArray::number(i) + '\n';
        }
        QTest::newRow("more words than taken")
            << lines << QStringList(many.mid(0, 1000))
            << "500 words after the first 1000, from \"w1000\" on";
        QTest::newRow("a word too long")
            << QByteArray("short\n") + QByteArray(65, 'x') + "\n" + QByteArray(64, 'y')
            << QStringList{"short", QString(64, QLatin1Char('y'))}
            << "1 words longer than 64 characters";
        // 3 MB: the list is cut inside a word, which is left out with the rest.
        QByteArray huge;
        QByteArray hugeJson = R"({"userword":[{"name":"a","words":[)";
        for (int i = 0; huge.size() < 3 << 20; ++i) {
            huge += "word" + QByteArray::number(i) + ',';
            hugeJson += "\"word" + QByteArray::number(i) + "\",";
        }
        hugeJson.chop(1);
        hugeJson += "]}]}";
        QStringList first;
        for (int i = 0; i < 1000; ++i)
            first << QStringLiteral("word%1").arg(i);
        QTest::newRow("3 MB of plain words")
            << huge << first << QStringLiteral("after the first 1000, from \"word1000\" on");
        QTest::newRow("3 MB of JSON")
            << hugeJson << first << QStringLiteral("all after the first 1 MB of ");
    }
    void userWords()
    {
        QFETCH(QByteArray, data);
        QFETCH(QStringList, words);
        QFETCH(QString, leftOut);
        const UserWordList parsed = UserWordList::parse(data);
        QCOMPARE(parsed.words, words);
        if (leftOut.isEmpty())
            QCOMPARE(parsed.leftOut, QString());
        else
            QVERIFY2(parsed.leftOut.contains(leftOut), qPrintable(parsed.leftOut));
    }

    void endpointUrl_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("apiPath");
        QTest::addColumn<QString>("endpoint");
        const QString asr = QStringLiteral("audio/transcriptions");
        const QString chat = QStringLiteral("chat/completions");
        QTest::newRow("full") << "http://h:8080/v1/audio/transcriptions" << asr
                              << "http://h:8080/v1/audio/transcriptions";
        QTest::newRow("v1 base") << "https://api.example/v1/" << asr
                                 << "https://api.example/v1/audio/transcriptions";
        QTest::newRow("host only")
            << "http://127.0.0.1:8080" << asr << "http://127.0.0.1:8080/v1/audio/transcriptions";
        QTest::newRow("other prefix")
            << "http://h/asr" << asr << "http://h/asr/v1/audio/transcriptions";
        QTest::newRow("whisper.cpp path") << "http://h/inference/audio/transcriptions" << asr
                                          << "http://h/inference/audio/transcriptions";
        QTest::newRow("chat, host only")
            << "http://127.0.0.1:8080/" << chat << "http://127.0.0.1:8080/v1/chat/completions";
        QTest::newRow("chat, Ollama's full URL")
            << "http://localhost:11434/v1/chat/completions" << chat
            << "http://localhost:11434/v1/chat/completions";
    }
    void endpointUrl()
    {
        QFETCH(QString, url);
        QFETCH(QString, apiPath);
        QFETCH(QString, endpoint);
        QCOMPARE(ServiceClient::endpoint(url, apiPath).toString(), endpoint);
        if (apiPath == QLatin1String("audio/transcriptions"))
            QCOMPARE(RemoteEngine::endpoint(url).toString(), endpoint);
    }

    void wavFile()
    {
        const QByteArray samples("\x01\x02\x03\x04", 4);
        const QByteArray wav = RemoteEngine::wavFile(samples);
        QCOMPARE(wav.size(), 48);
        QVERIFY(wav.startsWith("RIFF"));
        QCOMPARE(wav.mid(8, 8), QByteArray("WAVEfmt "));
        QCOMPARE(qFromLittleEndian<quint32>(wav.constData() + 4), 40u);
        QCOMPARE(qFromLittleEndian<quint32>(wav.constData() + 24), 16000u);
        QCOMPARE(qFromLittleEndian<quint16>(wav.constData() + 34), quint16(16));
        QCOMPARE(wav.mid(36, 4), QByteArray("data"));
        QCOMPARE(qFromLittleEndian<quint32>(wav.constData() + 40), 4u);
        QCOMPARE(wav.mid(44), samples);
    }

    void endOfSpeech_data()
    {
        QTest::addColumn<QByteArray>("audio");
        QTest::addColumn<int>("status");       // at the end of the audio
        QTest::addColumn<double>("endsAfter"); // seconds of audio fed when status 3 came, or -1
        using Parts = QList<QPair<bool, double>>;
        QTest::newRow("silence only")
            << pcm(Parts{{false, 5}}) << int(SPEECH_EP_LOOKING_FOR_SPEECH) << -1.0;
        QTest::newRow("click is no speech") << pcm(Parts{{false, 1}, {true, 0.05}, {false, 3}})
                                            << int(SPEECH_EP_LOOKING_FOR_SPEECH) << -1.0;
        QTest::newRow("still speaking")
            << pcm(Parts{{false, 0.5}, {true, 2}}) << int(SPEECH_EP_IN_SPEECH) << -1.0;
        QTest::newRow("short pause goes on")
            << pcm(Parts{{false, 0.5}, {true, 1}, {false, 1.5}, {true, 1}, {false, 1}})
            << int(SPEECH_EP_IN_SPEECH) << -1.0;
        QTest::newRow("speech then quiet") << pcm(Parts{{false, 0.5}, {true, 1}, {false, 3}})
                                           << int(SPEECH_EP_AFTER_SPEECH) << 3.5;
        QTest::newRow("speech from the start")
            << pcm(Parts{{true, 1}, {false, 2.5}}) << int(SPEECH_EP_AFTER_SPEECH) << 3.0;
    }
    void endOfSpeech()
    {
        QFETCH(QByteArray, audio);
        QFETCH(int, status);
        QFETCH(double, endsAfter);
        // The same audio fed in blocks of any size ends at the same place.
        for (const int block : {6400, 1, 333}) {
            EndpointDetector detector(2000);
            int fed = 0;
            int endedAt = -1;
            while (fed < audio.size()) {
                const int n = qMin(block, audio.size() - fed);
                if (detector.feed(audio.mid(fed, n)) == SPEECH_EP_AFTER_SPEECH && endedAt < 0)
                    endedAt = fed + n;
                fed += n;
            }
            QCOMPARE(detector.status(), status);
            if (endsAfter < 0) {
                QCOMPARE(endedAt, -1);
            } else {
                QVERIFY2(qAbs(endedAt / 32000.0 - endsAfter) < 0.25 + block / 32000.0,
                         qPrintable(QStringLiteral("ended after %1 s").arg(endedAt / 32000.0)));
            }
        }
    }
};

QTEST_GUILESS_MAIN(SpeechConfigTest)
#include "tst_speechconfig.moc"
