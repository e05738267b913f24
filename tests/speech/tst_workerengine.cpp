// The worker engine between the SDK calls and a transcriber: what reaches the
// transcriber (samples without the RIFF header, the language, the user words), when
// the text comes back, and how sessions, statuses and failures are answered.

#include "recognition/speecherror.h"
#include "recognition/speechsdk.h"
#include "recognition/workerengine.h"

#include "common/tonesignal.h"

#include <QScopeGuard>
#include <QSemaphore>
#include <QtEndian>
#include <QtTest>

#include <thread>

namespace {
const QByteArray ENG = "sub = iat, domain = iat, language = en_us, sample_rate = 16000";
const QByteArray CAN =
    "sub = iat, domain = iat, language = zh_cn, accent = cantonese, sample_rate = 16000";

struct FakeState
{
    QMutex mutex;
    int checkError = 0;
    int prepareError = 0;
    int transcribeError = 0;
    QByteArray text = "go forward ten meters";
    QStringList checked;
    QStringList prepared;
    QByteArray pcm;
    QString language;
    QStringList words;
    int transcriptions = 0;
    bool hold = false;    // transcribe waits for release (at most 10 s)
    bool phrases = false; // takes phrases, and answers each with its length in ms
    QSemaphore release;
    QSemaphore started;
};

class FakeTranscriber : public Transcriber
{
public:
    explicit FakeTranscriber(std::shared_ptr<FakeState> state) : s(std::move(state)) {}
    int checkLanguage(const QString &language) const override
    {
        QMutexLocker lock(&s->mutex);
        s->checked << language;
        return s->checkError;
    }
    int prepare(const QString &language) override
    {
        QMutexLocker lock(&s->mutex);
        s->prepared << language;
        return s->prepareError;
    }
    int transcribe(const QString &language, const QByteArray &pcm, const QStringList &userWords,
                   const std::atomic_bool &, QByteArray *text) override
    {
        s->started.release();
        bool hold;
        {
            QMutexLocker lock(&s->mutex);
            hold = s->hold;
        }
        if (hold)
            s->release.tryAcquire(1, 10000);
        QMutexLocker lock(&s->mutex);
        ++s->transcriptions;
        s->pcm = pcm;
        s->language = language;
        s->words = userWords;
        *text = s->phrases ? QByteArray::number(pcm.size() / 32) : s->text;
        return s->transcribeError;
    }
    bool transcribesPhrases() const override { return s->phrases; }
    std::shared_ptr<FakeState> s;
};

QByteArray samples(int count)
{
    QByteArray out;
    for (int i = 0; i < count; ++i) {
        const qint16 v = qint16(i * 37);
        out.append(reinterpret_cast<const char *>(&v), 2);
    }
    return out;
}

QByteArray chunk(const char *id, const QByteArray &body)
{
    QByteArray out(id, 4);
    out.append(4, '\0');
    qToLittleEndian<quint32>(quint32(body.size()), out.data() + 4);
    return out + body + (body.size() % 2 ? QByteArray(1, '\0') : QByteArray());
}

QByteArray wav(const QByteArray &pcm, bool withListChunk)
{
    QByteArray fmt(16, '\0');
    qToLittleEndian<quint16>(1, fmt.data());
    qToLittleEndian<quint16>(1, fmt.data() + 2);
    qToLittleEndian<quint32>(16000, fmt.data() + 4);
    qToLittleEndian<quint32>(32000, fmt.data() + 8);
    qToLittleEndian<quint16>(2, fmt.data() + 12);
    qToLittleEndian<quint16>(16, fmt.data() + 14);
    QByteArray body = "WAVE" + chunk("fmt ", fmt);
    if (withListChunk)
        body += chunk("LIST", QByteArray("INFOISFT\x05\0\0\0Lavf\0\0", 17)); // odd size: padded
    body += chunk("data", pcm);
    return chunk("RIFF", body);
}

struct Fixture
{
    std::shared_ptr<FakeState> state = std::make_shared<FakeState>();
    std::unique_ptr<WorkerEngine> engine;
    explicit Fixture(WorkerEngine::Settings settings = {}, bool phrases = false)
    {
        state->phrases = phrases;
        engine = std::make_unique<WorkerEngine>(std::make_unique<FakeTranscriber>(state), settings);
    }
    // Writes audio in blocks of blockSize, the last write with status 4, and waits for the result.
    QByteArray run(const QByteArray &audio, int blockSize, int *error,
                   const QByteArray &params = ENG)
    {
        *error = 0;
        const QByteArray id = engine->beginSession({}, params, error);
        if (*error)
            return {};
        int endpoint = 0;
        int recognition = 0;
        for (int offset = 0; offset < audio.size(); offset += blockSize) {
            *error = engine->writeAudio(id, audio.mid(offset, blockSize), offset == 0 ? 1 : 2,
                                        &endpoint, &recognition);
            if (*error)
                return {};
        }
        *error = engine->writeAudio(id, QByteArray(), SPEECH_AUDIO_LAST, &endpoint, &recognition);
        if (*error)
            return {};
        QByteArray text;
        for (int i = 0; i < 100 && recognition != SPEECH_REC_COMPLETE; ++i) {
            text = engine->getResult(id, &recognition, 100, error);
            if (*error)
                return {};
        }
        engine->endSession(id, "");
        return text;
    }
};
} // namespace

class WorkerEngineTest : public QObject
{
    Q_OBJECT

private slots:
    void samplesReachTheTranscriber_data()
    {
        QTest::addColumn<QByteArray>("audio");
        QTest::addColumn<int>("blockSize");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray pcm = samples(20000);
        QTest::newRow("44-byte header, 6400-byte blocks") << wav(pcm, false) << 6400 << pcm;
        QTest::newRow("header with a LIST chunk") << wav(pcm, true) << 6400 << pcm;
        QTest::newRow("header split over 1-byte blocks")
            << wav(samples(100), true) << 1 << samples(100);
        QTest::newRow("header split over 7-byte blocks")
            << wav(samples(300), false) << 7 << samples(300);
        QTest::newRow("one block") << wav(pcm, false) << 1000000 << pcm;
        QTest::newRow("header only") << wav(QByteArray(), false) << 6400 << QByteArray();
        QTest::newRow("shorter than a header")
            << QByteArray("RIFF\x10\0", 6) << 6400 << QByteArray();
        QTest::newRow("no header") << pcm << 6400 << pcm;
        QTest::newRow("nothing") << QByteArray() << 6400 << QByteArray();
        const QByteArray noData = chunk("RIFF", "WAVE" + chunk("LIST", QByteArray(70000, 'x')));
        QTest::newRow("RIFF without data chunk") << noData << 6400 << noData;
    }
    void samplesReachTheTranscriber()
    {
        QFETCH(QByteArray, audio);
        QFETCH(int, blockSize);
        QFETCH(QByteArray, expected);
        Fixture f;
        int error = -1;
        QCOMPARE(f.run(audio, blockSize, &error), QByteArray("go forward ten meters"));
        QCOMPARE(error, 0);
        QMutexLocker lock(&f.state->mutex);
        QCOMPARE(f.state->transcriptions, 1);
        QCOMPARE(f.state->pcm.size(), expected.size());
        QVERIFY(f.state->pcm == expected);
        QCOMPARE(f.state->language, QStringLiteral("english"));
    }

    void resultOnlyAfterTheLastWriteAndOnce()
    {
        Fixture f;
        int error = -1;
        const QByteArray id = f.engine->beginSession({}, CAN, &error);
        QCOMPARE(error, 0);
        QVERIFY(!id.isEmpty());
        int endpoint = -1;
        int recognition = -1;
        QCOMPARE(f.engine->writeAudio(id, QByteArray(6400, '\0'), SPEECH_AUDIO_FIRST, &endpoint,
                                      &recognition),
                 0);
        QCOMPARE(recognition, int(SPEECH_REC_INCOMPLETE)); // nothing to fetch: no partial fragments
        QCOMPARE(endpoint, int(SPEECH_EP_LOOKING_FOR_SPEECH));
        QVERIFY(f.engine->getResult(id, &recognition, 50, &error).isNull());
        QCOMPARE(recognition, int(SPEECH_REC_INCOMPLETE));
        QCOMPARE(error, 0);
        QCOMPARE(f.engine->writeAudio(id, samples(10), SPEECH_AUDIO_LAST, &endpoint, &recognition),
                 0);
        QCOMPARE(recognition, int(SPEECH_REC_INCOMPLETE));
        QByteArray text;
        for (int i = 0; i < 100 && recognition != SPEECH_REC_COMPLETE; ++i)
            text = f.engine->getResult(id, &recognition, 100, &error);
        QCOMPARE(recognition, int(SPEECH_REC_COMPLETE));
        QCOMPARE(text, QByteArray("go forward ten meters"));
        // Later queries have nothing new: the text must not be appended twice.
        QVERIFY(f.engine->getResult(id, &recognition, 0, &error).isNull());
        QCOMPARE(recognition, int(SPEECH_REC_COMPLETE));
        QCOMPARE(error, 0);
        QCOMPARE(f.engine->endSession(id, ""), 0);
        QMutexLocker lock(&f.state->mutex);
        QCOMPARE(f.state->language, QStringLiteral("cantonese"));
        QCOMPARE(f.state->pcm.size(), 6400 + 10 * 2);
        QCOMPARE(f.state->prepared, QStringList{QStringLiteral("cantonese")});
    }

    void emptyTextIsAResult()
    {
        Fixture f;
        f.state->text = QByteArray();
        int error = -1;
        const QByteArray text = f.run(samples(100), 6400, &error);
        QCOMPARE(error, 0);
        QVERIFY(!text.isNull());
        QVERIFY(text.isEmpty());
    }

    void failures_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<int>("code");
        QTest::newRow("no model") << "check" << SpeechError::NoModel;
        QTest::newRow("model does not load") << "prepare" << SpeechError::ModelLoadFailed;
        QTest::newRow("server refused") << "transcribe" << SpeechError::ServerRejected;
        QTest::newRow("time-out") << "transcribe" << SpeechError::ServerTimeout;
    }
    void failures()
    {
        QFETCH(QString, where);
        QFETCH(int, code);
        Fixture f;
        if (where == QLatin1String("check"))
            f.state->checkError = code;
        else if (where == QLatin1String("prepare"))
            f.state->prepareError = code;
        else
            f.state->transcribeError = code;
        int error = 0;
        const QByteArray text = f.run(samples(100), 6400, &error);
        QCOMPARE(error, code);
        QVERIFY(text.isNull());
        QMutexLocker lock(&f.state->mutex);
        QCOMPARE(f.state->transcriptions, where == QLatin1String("transcribe") ? 1 : 0);
    }

    void callsOutOfPlace()
    {
        Fixture f;
        int error = -1;
        int endpoint = 0;
        int recognition = 0;
        QCOMPARE(f.engine->writeAudio("ferrule-1", samples(1), 1, &endpoint, &recognition),
                 SpeechError::UnknownSession); // before any session
        const QByteArray id = f.engine->beginSession({}, ENG, &error);
        QCOMPARE(f.engine->writeAudio(QByteArray(), samples(1), 1, &endpoint, &recognition),
                 SpeechError::UnknownSession);
        QCOMPARE(f.engine->writeAudio(id + "x", samples(1), 1, &endpoint, &recognition),
                 SpeechError::UnknownSession);
        QCOMPARE(f.engine->writeAudio(id, samples(1), 3, &endpoint, &recognition),
                 SpeechError::InvalidArgument);
        f.engine->getResult(QByteArray(), &recognition, 0, &error);
        QCOMPARE(error, SpeechError::UnknownSession);
        QCOMPARE(f.engine->writeAudio(id, samples(1), SPEECH_AUDIO_LAST, &endpoint, &recognition),
                 0);
        QCOMPARE(f.engine->writeAudio(id, samples(1), 2, &endpoint, &recognition),
                 SpeechError::InvalidArgument);
        QCOMPARE(f.engine->endSession(id, ""), 0);
        QCOMPARE(f.engine->endSession(id, ""), SpeechError::UnknownSession);
        QCOMPARE(f.engine->endSession(QByteArray(), ""), SpeechError::UnknownSession);
        f.engine->beginSession({}, "language = en_us, sample_rate = 8000", &error);
        QCOMPARE(error, SpeechError::InvalidArgument);
    }

    void endedSessionDropsItsLateResult()
    {
        Fixture f;
        f.state->hold = true;
        f.state->text = "late";
        int error = -1;
        int endpoint = 0;
        int recognition = 0;
        const QByteArray first = f.engine->beginSession({}, ENG, &error);
        QCOMPARE(
            f.engine->writeAudio(first, samples(100), SPEECH_AUDIO_LAST, &endpoint, &recognition),
            0);
        QVERIFY(f.state->started.tryAcquire(1, 5000));
        QCOMPARE(f.engine->endSession(first, ""), 0); // the caller gave up waiting
        {
            QMutexLocker lock(&f.state->mutex);
            f.state->hold = false;
            f.state->text = "next";
        }
        f.state->release.release();
        const QByteArray text = f.run(samples(50), 6400, &error);
        QCOMPARE(error, 0);
        QCOMPARE(text, QByteArray("next"));
    }

    void resultPauseEndsWithTheResult()
    {
        Fixture f;
        f.state->hold = true;
        int error = -1;
        int endpoint = 0;
        int recognition = 0;
        const QByteArray id = f.engine->beginSession({}, ENG, &error);
        QCOMPARE(f.engine->writeAudio(id, samples(100), SPEECH_AUDIO_LAST, &endpoint, &recognition),
                 0);
        QVERIFY(f.state->started.tryAcquire(1, 5000));
        // Pauses far longer than this test may take: the first ends when the transcriber
        // is done, the second at once, since the result is there already.
        std::atomic_int pausesEnded{0};
        std::thread waiter([&] {
            for (int i = 0; i < 2; ++i) {
                f.engine->awaitResult(id, 60000);
                ++pausesEnded;
            }
        });
        const auto joinWaiter = qScopeGuard([&] { waiter.join(); });
        f.state->release.release();
        QTRY_COMPARE_WITH_TIMEOUT(pausesEnded.load(), 2, 20000);
        QCOMPARE(f.engine->getResult(id, &recognition, 0, &error), f.state->text);
        QCOMPARE(recognition, int(SPEECH_REC_COMPLETE));
    }

    void userWordsGoWithTheUtterance()
    {
        Fixture f;
        QCOMPARE(f.engine->uploadData(
                     "userwords", R"({"userword":[{"name":"x","words":["Ferrule","塔沃鼠标"]}]})",
                     "sub = uup, dtt = userword"),
                 0);
        QCOMPARE(f.engine->uploadData("grammar", "x", ""), SpeechError::InvalidArgument);
        int error = -1;
        f.run(samples(10), 6400, &error);
        QCOMPARE(error, 0);
        QMutexLocker lock(&f.state->mutex);
        QCOMPARE(f.state->words,
                 (QStringList{QStringLiteral("Ferrule"), QStringLiteral("塔沃鼠标")}));
    }

    // Phrases transcribed while the button was held serve the session when it is given
    // the same audio, with the same words; the text is the same either way.
    void heardPhrasesServeTheSession_data()
    {
        QTest::addColumn<QByteArray>("heard");
        QTest::addColumn<QByteArray>("wordsAfter");
        QTest::addColumn<int>("whileHeld");
        QTest::addColumn<int>("afterRelease");
        const int loud = 3000;
        const QByteArray words = "gravel";
        // Phrases of 1300 and 1500 ms, and 150 ms of quiet after them, not transcribed.
        const QByteArray said =
            toneSignal({{200, 0}, {1000, loud}, {500, 0}, {1000, loud}, {250, 0}});
        QTest::newRow("heard while held") << said << words << 2 << 0;
        QTest::newRow("nothing heard") << QByteArray() << words << 0 << 2;
        QTest::newRow("other audio heard")
            << toneSignal({{200, 0}, {1000, loud / 2}, {250, 0}}) << words << 1 << 2;
        QTest::newRow("user words changed since") << said << QByteArray("granite") << 2 << 2;
        QTest::newRow("let go while speaking") << said.left(2200 * 32) << words << 1 << 1;
    }
    void heardPhrasesServeTheSession()
    {
        QFETCH(QByteArray, heard);
        QFETCH(QByteArray, wordsAfter);
        QFETCH(int, whileHeld);
        QFETCH(int, afterRelease);
        Fixture f({}, true);
        QCOMPARE(f.engine->uploadData("userwords", "gravel", {}), 0);
        f.engine->preload(ENG);
        for (int at = 0; at < heard.size(); at += 3200)
            f.engine->listen(heard.mid(at, 3200),
                             at == 0 ? SPEECH_AUDIO_FIRST : SPEECH_AUDIO_CONTINUE);
        const auto transcriptions = [&f] {
            QMutexLocker lock(&f.state->mutex);
            return f.state->transcriptions;
        };
        QTRY_COMPARE(transcriptions(), whileHeld);
        QCOMPARE(f.engine->uploadData("userwords", wordsAfter, {}), 0);
        int error = -1;
        const QByteArray said =
            toneSignal({{200, 0}, {1000, 3000}, {500, 0}, {1000, 3000}, {250, 0}});
        QCOMPARE(f.run(said, 6400, &error), QByteArray("1300 1500"));
        QCOMPARE(error, 0);
        QCOMPARE(transcriptions() - whileHeld, afterRelease);
    }

    void tooMuchAudioIsRefused()
    {
        WorkerEngine::Settings settings;
        settings.maxAudioBytes = 10000;
        Fixture f(settings);
        int error = -1;
        f.run(samples(4000), 6400, &error); // 8000 bytes: fine
        QCOMPARE(error, 0);
        f.run(samples(6000), 6400, &error);
        QCOMPARE(error, SpeechError::TooMuchAudio);
    }

    void settingsReachTheCaller()
    {
        WorkerEngine::Settings settings;
        settings.resultTimeoutMs = 1234;
        Fixture f(settings);
        QCOMPARE(f.engine->resultTimeoutMs(), 1234);
        QCOMPARE(f.engine->blockPauseMs(), 0);
    }
};

QTEST_GUILESS_MAIN(WorkerEngineTest)
#include "tst_workerengine.moc"
