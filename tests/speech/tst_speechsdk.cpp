// The seven SDK operations as a recognition session calls them: settings from
// speech.ini in the login string's work_dir, the failures a user meets (no model, a
// broken speech.ini) with their log lines and prompts, models kept loaded between
// utterances, and the scripted engine that tests install in place of the real ones.

#include "common/logcapture.h"
#include "speech/sdkfeeder.h"

#include "common/scriptedengine.h"
#include "recognition/speecherror.h"
#include "recognition/speechsdk.h"

#include "recognition/speechparams.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {
using namespace SpeechParams;
const QString cards = QStringLiteral("/usr/share/pocketsphinx/test/data/cards/");

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A work_dir with the given speech.ini (none for a null text) and its login string.
struct WorkDir
{
    QTemporaryDir dir;
    QByteArray login;
    explicit WorkDir(const char *ini)
    {
        if (ini) {
            QFile file(dir.filePath(QStringLiteral("speech.ini")));
            if (file.open(QIODevice::WriteOnly))
                file.write(ini);
        }
        login = "appid = 4d7c2a19, work_dir = " + dir.path().toUtf8();
    }
};

int beginWith(const QByteArray &login, const char *params)
{
    const int loginCode = SpeechLogin(nullptr, nullptr, login.constData());
    int error = -1;
    const char *session = RecogSessionBegin(nullptr, params, &error);
    if (error == 0 && !session)
        error = -2;
    RecogSessionEnd(session, "");
    SpeechLogout();
    return loginCode != 0 ? loginCode : error;
}
} // namespace

class SpeechSdkTest : public QObject
{
    Q_OBJECT

private slots:
    void callsBeforeLoginAreRefused()
    {
        int error = 0;
        QVERIFY(!RecogSessionBegin(nullptr, ENG, &error));
        QCOMPARE(error, SpeechError::NotLoggedIn);
        int endpoint = 0;
        int recognition = 0;
        QCOMPARE(RecogAudioWrite("x", "ab", 2, 1, &endpoint, &recognition),
                 SpeechError::NotLoggedIn);
        QVERIFY(!RecogGetResult("x", &recognition, 0, &error));
        QCOMPARE(error, SpeechError::NotLoggedIn);
    }

    void languagesWithoutSettings_data()
    {
        QTest::addColumn<QByteArray>("params");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("logged");
        QTest::newRow("English works out of the box") << QByteArray(ENG) << 0 << QString();
        QTest::newRow("Mandarin needs a model")
            << QByteArray(MAN) << SpeechError::NoModel << "no speech model for mandarin";
        QTest::newRow("Cantonese needs a model")
            << QByteArray(CAN) << SpeechError::NoModel << "[model.cantonese]";
        QTest::newRow("other rate") << QByteArray("language = en_us, sample_rate = 8000")
                                    << SpeechError::InvalidArgument << "16000 Hz";
    }
    void languagesWithoutSettings()
    {
        QFETCH(QByteArray, params);
        QFETCH(int, code);
        QFETCH(QString, logged);
        WorkDir work(nullptr);
        LogCapture log;
        QCOMPARE(beginWith(work.login, params.constData()), code);
        if (!logged.isEmpty())
            QVERIFY2(log.contains(logged), qPrintable(log.lines().join(QLatin1Char('\n'))));
        if (code == SpeechError::NoModel) {
            QVERIFY(log.contains(QStringLiteral("switch the recognition language to English")));
            QCOMPARE(QString::fromUtf8(SpeechErrorPrompt(code)),
                     QStringLiteral("未安装该语言的语音模型"));
        }
    }

    void brokenSettings_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QByteArray>("params");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("logged");
        QTest::addColumn<QString>("prompt");
        QTest::newRow("unknown engine") << QByteArray("engine = cloud\n") << QByteArray(ENG)
                                        << SpeechError::BadSettings << "speech.ini: line 1"
                                        << "语音设置文件有误";
        QTest::newRow("CR in api_key")
            << QByteArray("engine = remote\n[remote]\nurl = http://127.0.0.1:9/\napi_key = a\rb\n")
            << QByteArray(ENG) << SpeechError::BadSettings
            << "speech.ini: line 4: control character in the value of api_key"
            << "语音设置文件有误";
        QTest::newRow("nan time-out") << QByteArray("result_timeout = nan\n") << QByteArray(ENG)
                                      << SpeechError::BadSettings << "speech.ini: line 1"
                                      << "语音设置文件有误";
        QTest::newRow("model missing at its path")
            << QByteArray("[model.mandarin]\nacoustic_model = /nonexistent/zh\nlanguage_model = "
                          "zh.lm.bin\n"
                          "dictionary = zh.dic\n")
            << QByteArray(MAN) << SpeechError::ModelLoadFailed << "missing at /nonexistent/zh"
            << "未安装该语言的语音模型";
        QTest::newRow("model files unusable")
            << QByteArray("[model.cantonese]\nacoustic_model = .\nlanguage_model = "
                          "speech.ini\ndictionary = speech.ini\n")
            << QByteArray(CAN) << SpeechError::ModelLoadFailed << "could not be loaded"
            << "未安装该语言的语音模型";
        QTest::newRow("a key in the wrong section, not logged")
            << QByteArray("[model.english]\napi_key = sk-misplaced-81f\n") << QByteArray(ENG)
            << SpeechError::BadSettings << "line 2: unknown key or bad value: api_key = …"
            << "语音设置文件有误";
        QTest::newRow("remote url is no URL")
            << QByteArray("engine = remote\n[remote]\nurl = ftp://x/\n") << QByteArray(ENG)
            << SpeechError::BadSettings << "not an http"
            << "语音设置文件有误";
    }
    void brokenSettings()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QByteArray, params);
        QFETCH(int, code);
        QFETCH(QString, logged);
        QFETCH(QString, prompt);
        WorkDir work(ini.constData());
        LogCapture log;
        QCOMPARE(beginWith(work.login, params.constData()), code);
        QVERIFY2(log.contains(logged), qPrintable(log.lines().join(QLatin1Char('\n'))));
        QVERIFY(!log.contains(QStringLiteral("sk-misplaced")));
        QCOMPARE(QString::fromUtf8(SpeechErrorPrompt(code)), prompt);
    }

    void failedLoginFailsTheSessionWithItsReason()
    {
        WorkDir work("result_timeout = never\n");
        QCOMPARE(SpeechLogin(nullptr, nullptr, work.login.constData()), SpeechError::BadSettings);
        int error = 0;
        QVERIFY(!RecogSessionBegin(nullptr, ENG, &error));
        QCOMPARE(error, SpeechError::BadSettings);
        SpeechUploadData("userwords", "a", 1, "sub = uup, dtt = userword", &error);
        QCOMPARE(error, SpeechError::BadSettings);
        QCOMPARE(SpeechLogout(), 0);
        // Logged out, calls are refused as before any login, not for the old reason.
        QVERIFY(!RecogSessionBegin(nullptr, ENG, &error));
        QCOMPARE(error, SpeechError::NotLoggedIn);
        QCOMPARE(SpeechLogout(), SpeechError::NotLoggedIn);
    }

    void modelStaysLoadedBetweenUtterances()
    {
        // A speech.ini of its own makes a fresh engine, whose English model loads once.
        WorkDir work("result_timeout = 7\n");
        const QByteArray audio = readFile(cards + QStringLiteral("001.wav"));
        QVERIFY(!audio.isEmpty());
        LogCapture log;
        for (int i = 0; i < 2; ++i) {
            const SdkRun run = recognizeThroughSdk(audio, ENG, 20, work.login.constData());
            QCOMPARE(run.error, 0);
            QCOMPARE(run.text, QByteArray("ten of clubs"));
        }
        QCOMPARE(log.count(QStringLiteral("english speech model loaded")), 1);

        QCOMPARE(SpeechLogin(nullptr, nullptr, work.login.constData()), 0);
        QCOMPARE(SpeechResultTimeoutMs(), 7000);
        QCOMPARE(SpeechBlockPauseMs(), 0);
        SpeechLogout();
    }

    void preloadLoadsTheModelAhead()
    {
        WorkDir work("result_timeout = 9\n");
        LogCapture log;
        SpeechPreload(work.login.constData(), MAN); // no model: says so, loads nothing
        QVERIFY(log.contains(QStringLiteral("no speech model for mandarin")));
        SpeechPreload(work.login.constData(), ENG);
        QTRY_VERIFY_WITH_TIMEOUT(log.contains(QStringLiteral("english speech model loaded")),
                                 60000);
        const SdkRun run = recognizeThroughSdk(readFile(cards + QStringLiteral("001.wav")), ENG, 20,
                                               work.login.constData());
        QCOMPARE(run.error, 0);
        QCOMPARE(run.text, QByteArray("ten of clubs"));
        QCOMPARE(log.count(QStringLiteral("speech model loaded")), 1);
    }

    void endOfSpeechStopsTheUtteranceEarly()
    {
        // The recording followed by 4 s of silence: the end of speech is heard after
        // 2 s of it and the rest is not sent, and the text is the same.
        WorkDir work(nullptr);
        QByteArray audio = readFile(cards + QStringLiteral("003.wav"));
        QVERIFY(!audio.isEmpty());
        audio.append(QByteArray(4 * 32000, '\0'));
        const SdkRun run = recognizeThroughSdk(audio, ENG, 20, work.login.constData());
        QCOMPARE(run.error, 0);
        QVERIFY(run.stoppedAtEndOfSpeech);
        QVERIFY2(run.blocksWritten < audio.size() / 6400 - 5,
                 qPrintable(QString::number(run.blocksWritten)));
        QCOMPARE(run.text, QByteArray("seven of clubs"));
    }

    void userWordsAreAccepted_data()
    {
        QTest::addColumn<QByteArray>("words");
        QTest::newRow("Chinese words the English model cannot know") << QByteArray(
            R"({"userword":[{"name":"我的常用词","words":["塔沃鼠标","智能模式"]}]})");
        QTest::newRow("English words, one unknown to the dictionary")
            << QByteArray("clubs\nspades\nferrulex\n");
    }
    void userWordsAreAccepted()
    {
        QFETCH(QByteArray, words);
        WorkDir work(nullptr);
        QCOMPARE(SpeechLogin(nullptr, nullptr, work.login.constData()), 0);
        int error = -1;
        SpeechUploadData("userwords", words.constData(), unsigned(words.size()),
                         "sub = uup, dtt = userword", &error);
        QCOMPARE(error, 0);
        SpeechLogout();
        const SdkRun run = recognizeThroughSdk(readFile(cards + QStringLiteral("005.wav")), ENG, 20,
                                               work.login.constData());
        QCOMPARE(run.error, 0);
        QCOMPARE(run.text, QByteArray("eight of spades four of clubs seven of hearts"));
    }

    void userWordsExtendTheLanguageModel()
    {
        // A language model that knows only digits: "clubs" is in the dictionary but
        // cannot be recognized until the user words name it.
        WorkDir work(
            "[model.english]\n"
            "acoustic_model = /usr/share/pocketsphinx/model/en-us/en-us\n"
            "language_model = /usr/share/pocketsphinx/test/data/tidigits/lm/tidigits.lm.bin\n"
            "dictionary = small.dict\n");
        QFile dictionary(work.dir.filePath(QStringLiteral("small.dict")));
        QVERIFY(dictionary.open(QIODevice::WriteOnly));
        dictionary.write(
            "zero Z IH R OW\noh OW\none W AH N\ntwo T UW\nthree TH R IY\nfour F AO R\nfive F AY V\n"
            "six S IH K S\nseven S EH V AH N\neight EY T\nnine N AY N\nof AH V\nclubs K L AH B "
            "Z\n");
        dictionary.close();
        const QByteArray audio = readFile(cards + QStringLiteral("003.wav"));
        const SdkRun before = recognizeThroughSdk(audio, ENG, 20, work.login.constData());
        QCOMPARE(before.error, 0);
        QVERIFY2(!before.text.contains("clubs"), before.text.constData());

        LogCapture log;
        QCOMPARE(SpeechLogin(nullptr, nullptr, work.login.constData()), 0);
        int error = -1;
        const QByteArray words = "of\nclubs\nnotaword\n";
        SpeechUploadData("userwords", words.constData(), unsigned(words.size()),
                         "sub = uup, dtt = userword", &error);
        QCOMPARE(error, 0);
        SpeechLogout();
        const SdkRun after = recognizeThroughSdk(audio, ENG, 20, work.login.constData());
        QCOMPARE(after.error, 0);
        QCOMPARE(after.text, QByteArray("seven of clubs"));
        QVERIFY(log.contains(QStringLiteral("2 user words known to the model, 2 added")));
    }

    void installedEngineServesTheCalls()
    {
        auto engine = std::make_shared<ScriptedEngine>();
        engine->loginError = 10407;
        engine->blockPause = 200;
        engine->resultTimeout = 500;
        engine->writeReplies = {{0, SPEECH_EP_IN_SPEECH, SPEECH_REC_RESULT_READY}};
        engine->resultReplies = {{0, SPEECH_REC_RESULT_READY, "go "},
                                 {0, SPEECH_REC_INCOMPLETE, {}},
                                 {10114, SPEECH_REC_INCOMPLETE, {}}};
        useScriptedEngine(engine);
        QCOMPARE(SpeechLogin(nullptr, nullptr, "appid = 4d7c2a19, work_dir = ."), 10407);
        QCOMPARE(SpeechBlockPauseMs(), 200);
        QCOMPARE(SpeechResultTimeoutMs(), 500);
        int error = -1;
        const char *session = RecogSessionBegin(nullptr, ENG, &error);
        QCOMPARE(error, 0);
        QCOMPARE(QByteArray(session), QByteArray("scripted-session"));
        int endpoint = -1;
        int recognition = -1;
        QCOMPARE(RecogAudioWrite(session, "abc", 3, SPEECH_AUDIO_FIRST, &endpoint, &recognition),
                 0);
        QCOMPARE(endpoint, int(SPEECH_EP_IN_SPEECH));
        QCOMPARE(recognition, int(SPEECH_REC_RESULT_READY));
        QCOMPARE(
            RecogAudioWrite(session, nullptr, 5, SPEECH_AUDIO_CONTINUE, &endpoint, &recognition),
            SpeechError::InvalidArgument);
        // A length no buffer has: refused, never read.
        QCOMPARE(RecogAudioWrite(session, "abc", 0xffffffffu, SPEECH_AUDIO_CONTINUE, &endpoint,
                                 &recognition),
                 SpeechError::InvalidArgument);
        QCOMPARE(QByteArray(RecogGetResult(session, &recognition, 0, &error)), QByteArray("go "));
        QVERIFY(!RecogGetResult(session, &recognition, 0, &error));
        QCOMPARE(recognition, int(SPEECH_REC_INCOMPLETE));
        QVERIFY(!RecogGetResult(session, &recognition, 0, &error));
        QCOMPARE(error, 10114);
        RecogSessionEnd(nullptr, "");
        SpeechLogout();
        useScriptedEngine(nullptr);

        QCOMPARE(engine->calls.size(), 8);
        QCOMPARE(engine->calls.at(0).op, ScriptedEngine::Login);
        QCOMPARE(engine->calls.at(0).params, QByteArray("appid = 4d7c2a19, work_dir = ."));
        QVERIFY(engine->calls.at(0).name.isNull());
        QCOMPARE(engine->calls.at(1).params, QByteArray(ENG));
        QCOMPARE(engine->calls.at(2).data, QByteArray("abc"));
        QCOMPARE(engine->calls.at(2).audioStatus, int(SPEECH_AUDIO_FIRST));
        QCOMPARE(engine->calls.at(2).sessionId, QByteArray("scripted-session"));
        QCOMPARE(engine->callsOf(ScriptedEngine::GetResult).size(), 3);
        QCOMPARE(engine->calls.at(6).op, ScriptedEngine::End);
        QVERIFY(engine->calls.at(6).sessionId.isNull());
        QCOMPARE(engine->calls.at(7).op, ScriptedEngine::Logout);

        // Uninstalled, the configured engine answers again.
        WorkDir work(nullptr);
        QCOMPARE(beginWith(work.login, MAN), SpeechError::NoModel);
    }

    void everyFailureHasAPrompt_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("prompt");
        QTest::newRow("success") << 0 << "";
        QTest::newRow("no model") << SpeechError::NoModel << "未安装该语言的语音模型";
        QTest::newRow("unreachable") << SpeechError::ServerUnreachable << "语音服务无法连接";
        QTest::newRow("time-out") << SpeechError::ServerTimeout << "语音服务没有响应";
        QTest::newRow("refused") << SpeechError::ServerRejected << "语音服务拒绝了请求";
        QTest::newRow("bad reply") << SpeechError::BadReply << "语音服务回复有误";
        QTest::newRow("settings") << SpeechError::BadSettings << "语音设置文件有误";
        QTest::newRow("any other") << 10114 << "语音识别出错";
    }
    void everyFailureHasAPrompt()
    {
        QFETCH(int, code);
        QFETCH(QString, prompt);
        QCOMPARE(QString::fromUtf8(SpeechErrorPrompt(code)), prompt);
    }
};

QTEST_GUILESS_MAIN(SpeechSdkTest)
#include "tst_speechsdk.moc"
