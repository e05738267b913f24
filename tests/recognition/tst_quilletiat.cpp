// The recognition session against the scripted engine: what reaches the SDK,
// in which blocks and order, what is dispatched, and what every failure does.
#include "app/settingkeys.h"
#include "app/settings.h"
#include "common/logcapture.h"
#include "common/peakmemory.h"
#include "common/prompts.h"
#include "common/recordingplatform.h"
#include "common/scriptedengine.h"
#include "common/settingsenv.h"
#include "common/stubhttpserver.h"
#include "recognition/quilletiat.h"
#include "recognition/speecherror.h"
#include "recognition/translator.h"

#include "recognition/speechparams.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QtTest>

#include <cstdio>
#include <memory>

// The audio out-of-memory row asks for a buffer no machine has; under
// AddressSanitizer that must come back as null, as it does without it.
extern "C" const char *__asan_default_options()
{
    return "allocator_may_return_null=1";
}

namespace {
const QByteArray MAN = SpeechParams::MAN;
const QByteArray ENG = SpeechParams::ENG;
const QByteArray CAN = SpeechParams::CAN;

using Op = ScriptedEngine::Op;
using WriteReply = ScriptedEngine::WriteReply;
using ResultReply = ScriptedEngine::ResultReply;

// Distinct bytes at every offset, so a block sent from the wrong place shows.
QByteArray pattern(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) % 256);
    if (size >= 4)
        bytes.replace(0, 4, "RIFF");
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// A file whose size claims far more than any buffer can take.
bool writeSparseFile(const QString &path, qint64 size)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.resize(size);
}

const char translationKey[] = "sk-translate-7d1c";

// speech.ini naming a translation service on the port, with one-second time-outs.
bool writeTranslationSettings(quint16 port)
{
    return writeFile(QStringLiteral("speech.ini"),
                     "[translation]\nurl = http://127.0.0.1:" + QByteArray::number(port) +
                         "\nmodel = qwen2.5\napi_key = " + translationKey +
                         "\nconnect_timeout = 1\ntimeout = 1\n");
}

// A chat-completions answer whose message says content.
QByteArray chatReply(const QString &content)
{
    const QJsonObject message{{"role", "assistant"}, {"content", content}};
    return QJsonDocument(QJsonObject{{"choices", QJsonArray{QJsonObject{{"message", message}}}}})
        .toJson(QJsonDocument::Compact);
}

// The JSON body of a recorded request.
QJsonObject requestBody(const QByteArray &request)
{
    return QJsonDocument::fromJson(request.mid(request.indexOf("\r\n\r\n") + 4)).object();
}

// A sysfs file reports a size of 4096 bytes but reads as a few: a read that comes up short.
const char shortReadFile[] = "/sys/devices/system/cpu/online";

enum class Failure
{
    Login,
    UserWordsMissing,
    UserWordsOutOfMemory,
    UserWordsReadShort,
    Upload,
    AudioMissing,
    AudioOutOfMemory,
    AudioReadShort,
    AudioIsFolder,
    Begin,
    BlockWrite,
    FinalWrite,
    QueryWhileSending,
    QueryWhilePolling,
    PollingTimeout,
};

} // namespace

Q_DECLARE_METATYPE(Failure)

class TestQuilletIat : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void sendsTheFileInBlocks_data();
    void sendsTheFileInBlocks();
    void blockPauseIsTheEngines();
    void stopsSendingAtEndOfSpeech();
    void collectsFragmentsWhileSendingAndPolling();
    void noQueryWhenTheFinalWriteCompletes();
    void pausesBetweenQueriesWaitForTheResult();
    void resultBufferLimit_data();
    void resultBufferLimit();
    void failures_data();
    void failures();
    void parameterChoice_data();
    void parameterChoice();
    void uploadsTheWordListUnchanged();
    void dispatchByMode_data();
    void dispatchByMode();
    void translation_data();
    void translation();
    void translationIsTyped();
    void nulInAReplyIsABlank_data();
    void nulInAReplyIsABlank();
    void dictationsJoinInOnePlace();

private:
    void setModes(int typing, int typingLanguage, int intelligence, int intelligenceLanguage,
                  int translation, int translationLanguage);
    // Runs one recognition; returns how long the constructor took, in ms.
    qint64 runRecognizer();
    // The engine's calls by name, "Login Upload Begin Write ...".
    QString ops() const;

    std::unique_ptr<SettingsEnv> env;
    std::shared_ptr<ScriptedEngine> engine;
    std::unique_ptr<LogCapture> log;
    // What reached the desktop, in order: "type:<text>", "open:<url>".
    QStringList dispatched() const { return desktop->timeline; }
    RecordingPlatform *desktop = nullptr;
    // The prompts of the last run.
    QStringList prompts;
};

void TestQuilletIat::init()
{
    env = std::make_unique<SettingsEnv>();
    QVERIFY(env->enter());
    QVERIFY(writeFile(QStringLiteral("userwords.txt"),
                      "{\"userword\":[{\"name\":\"x\",\"words\":[\"Ferrule\"]}]}"));
    QVERIFY(writeFile(
        QStringLiteral("websearch.txt"),
        "百度 https://www.baidu.com/s?wd=\n京东 https://search.jd.com/Search?keyword=\n"));
    QVERIFY(writeFile(QStringLiteral("record.wav"), pattern(19200)));

    setModes(1, English, 0, 0, 0, 0);
    engine = std::make_shared<ScriptedEngine>();
    useScriptedEngine(engine);

    prompts.clear();
    desktop = RecordingPlatform::install();
    log = std::make_unique<LogCapture>();
}

void TestQuilletIat::cleanup()
{
    log.reset();
    installPlatform(systemPlatform());
    useScriptedEngine(nullptr);
    engine.reset();
    env.reset();
}

void TestQuilletIat::setModes(int typing, int typingLanguage, int intelligence,
                              int intelligenceLanguage, int translation, int translationLanguage)
{
    SettingsMap &settings = *settingsMap();
    settings[SettingKey::TypingModel] = typing;
    settings[SettingKey::TypingLanguage] = typingLanguage;
    settings[SettingKey::IntelligenceModel] = intelligence;
    settings[SettingKey::IntelligenceLanguage] = intelligenceLanguage;
    settings[SettingKey::TranslationModel] = translation;
    settings[SettingKey::TranslationLanguage] = translationLanguage;
}

qint64 TestQuilletIat::runRecognizer()
{
    PromptRecorder recorder;
    QElapsedTimer clock;
    clock.start();
    {
        QuilletIat recognizer(nullptr);
    }
    const qint64 elapsed = clock.elapsed();
    prompts << recorder.texts;
    QCoreApplication::processEvents();
    return elapsed;
}

QString TestQuilletIat::ops() const
{
    static const char *names[] = {"Login",     "Upload", "Begin", "Write",
                                  "GetResult", "End",    "Logout"};
    QStringList result;
    for (const ScriptedEngine::Call &call : engine->calls)
        result << QLatin1String(names[call.op]);
    return result.join(QLatin1Char(' '));
}

void TestQuilletIat::sendsTheFileInBlocks_data()
{
    QTest::addColumn<int>("fileSize");
    QTest::addColumn<QList<int>>("blocks");

    QTest::newRow("empty file: only the final write") << 0 << QList<int>{};
    QTest::newRow("1 byte") << 1 << QList<int>{1};
    QTest::newRow("12799 bytes: one block") << 12799 << QList<int>{12799};
    QTest::newRow("12800 bytes: two blocks") << 12800 << QList<int>{6400, 6400};
    QTest::newRow("19200 bytes: three blocks") << 19200 << QList<int>{6400, 6400, 6400};
    QTest::newRow("20000 bytes: last block takes the rest")
        << 20000 << QList<int>{6400, 6400, 7200};
}

void TestQuilletIat::sendsTheFileInBlocks()
{
    QFETCH(int, fileSize);
    QFETCH(QList<int>, blocks);
    const QByteArray audio = pattern(fileSize);
    QVERIFY(writeFile(QStringLiteral("record.wav"), audio));

    runRecognizer();

    QString expectedOps = QStringLiteral("Login Upload Begin");
    for (int i = 0; i <= blocks.size(); ++i)
        expectedOps += QStringLiteral(" Write");
    expectedOps += QStringLiteral(" GetResult End Logout");
    QCOMPARE(ops(), expectedOps);

    const QList<ScriptedEngine::Call> writes = engine->callsOf(Op::Write);
    QByteArray sent;
    for (int i = 0; i < blocks.size(); ++i) {
        QCOMPARE(writes.at(i).data.size(), blocks.at(i));
        QCOMPARE(writes.at(i).audioStatus, i == 0 ? SPEECH_AUDIO_FIRST : SPEECH_AUDIO_CONTINUE);
        QCOMPARE(writes.at(i).sessionId, engine->sessionId);
        sent += writes.at(i).data;
    }
    // The whole file from its first byte: the WAV header goes out as audio.
    QCOMPARE(sent, audio);
    const ScriptedEngine::Call &last = writes.last();
    QCOMPARE(last.audioStatus, SPEECH_AUDIO_LAST);
    QVERIFY(last.data.isNull());

    QCOMPARE(engine->callsOf(Op::GetResult).first().waitTime, 0);
    const ScriptedEngine::Call end = engine->callsOf(Op::End).first();
    QCOMPARE(end.sessionId, engine->sessionId);
    QVERIFY(!end.params.isNull());
    QVERIFY(end.params.isEmpty());
    // A completed recognition without text is dispatched like any other.
    QCOMPARE(dispatched(), QStringList{QStringLiteral("type:")});
}

void TestQuilletIat::blockPauseIsTheEngines()
{
    engine->blockPause = 150;
    QVERIFY(writeFile(QStringLiteral("record.wav"), pattern(19200)));
    const qint64 elapsed = runRecognizer();
    // One pause after each of the three blocks.
    QVERIFY2(elapsed >= 3 * 150, qPrintable(QString::number(elapsed)));
    QCOMPARE(engine->callsOf(Op::Write).size(), 4);
}

void TestQuilletIat::stopsSendingAtEndOfSpeech()
{
    // A pause the run would plainly show if it were taken after the last block.
    engine->blockPause = 4000;
    QVERIFY(writeFile(QStringLiteral("record.wav"), pattern(64000)));
    engine->writeReplies = {WriteReply{0, SPEECH_EP_AFTER_SPEECH, SPEECH_REC_INCOMPLETE}};
    engine->resultReplies = {ResultReply{0, SPEECH_REC_COMPLETE, "go forward"}};

    const qint64 elapsed = runRecognizer();

    const QList<ScriptedEngine::Call> writes = engine->callsOf(Op::Write);
    QCOMPARE(writes.size(), 2);
    QCOMPARE(writes.at(0).data.size(), 6400);
    QCOMPARE(writes.at(1).audioStatus, SPEECH_AUDIO_LAST);
    QVERIFY2(elapsed < 3000, qPrintable(QString::number(elapsed)));
    QCOMPARE(dispatched(), QStringList{QStringLiteral("type:go forward")});
}

void TestQuilletIat::collectsFragmentsWhileSendingAndPolling()
{
    QVERIFY(writeFile(QStringLiteral("record.wav"), pattern(19200)));
    engine->writeReplies = {WriteReply{0, SPEECH_EP_IN_SPEECH, SPEECH_REC_RESULT_READY},
                            WriteReply{0, SPEECH_EP_IN_SPEECH, SPEECH_REC_INCOMPLETE},
                            WriteReply{0, SPEECH_EP_IN_SPEECH, SPEECH_REC_RESULT_READY},
                            WriteReply{0, 0, SPEECH_REC_INCOMPLETE}};
    engine->resultReplies = {ResultReply{0, SPEECH_REC_INCOMPLETE, "go "},
                             ResultReply{0, SPEECH_REC_INCOMPLETE, "forward "},
                             ResultReply{0, SPEECH_REC_INCOMPLETE, {}},
                             ResultReply{0, SPEECH_REC_COMPLETE, "ten meters"}};

    runRecognizer();

    QCOMPARE(ops(), QStringLiteral("Login Upload Begin Write GetResult Write Write GetResult "
                                   "Write GetResult GetResult End Logout"));
    QCOMPARE(dispatched(), QStringList{QStringLiteral("type:go forward ten meters")});
}

void TestQuilletIat::noQueryWhenTheFinalWriteCompletes()
{
    QVERIFY(writeFile(QStringLiteral("record.wav"), pattern(100)));
    engine->writeReplies = {WriteReply{0, 0, SPEECH_REC_INCOMPLETE},
                            WriteReply{0, 0, SPEECH_REC_COMPLETE}};
    runRecognizer();
    QVERIFY(engine->callsOf(Op::GetResult).isEmpty());
    QCOMPARE(dispatched(), QStringList{QStringLiteral("type:")});
}

void TestQuilletIat::pausesBetweenQueriesWaitForTheResult()
{
    QVERIFY(writeFile(QStringLiteral("record.wav"), pattern(100)));
    engine->resultReplies = {ResultReply{0, SPEECH_REC_INCOMPLETE, {}},
                             ResultReply{0, SPEECH_REC_INCOMPLETE, "go "},
                             ResultReply{0, SPEECH_REC_COMPLETE, "on"}};
    runRecognizer();
    // A pause after each query but the last, each one the SDK's wait for this session's
    // result, which ends as soon as the result is there.
    const QList<QPair<QByteArray, int>> expected{{engine->sessionId, 150},
                                                 {engine->sessionId, 150}};
    QCOMPARE(engine->pauses, expected);
    QCOMPARE(dispatched(), QStringList{QStringLiteral("type:go on")});
}

void TestQuilletIat::resultBufferLimit_data()
{
    QTest::addColumn<int>("sentWhileSending");
    QTest::addColumn<int>("sentWhilePolling");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("4095 bytes while polling") << 0 << 4095 << true;
    QTest::newRow("4096 bytes while polling") << 0 << 4096 << false;
    QTest::newRow("4095 bytes across both") << 4000 << 95 << true;
    QTest::newRow("4096 bytes across both") << 4000 << 96 << false;
    QTest::newRow("4096 bytes, from the first query on") << 4096 << 0 << false;
}

void TestQuilletIat::resultBufferLimit()
{
    QFETCH(int, sentWhileSending);
    QFETCH(int, sentWhilePolling);
    QFETCH(bool, accepted);
    QVERIFY(writeFile(QStringLiteral("record.wav"), pattern(6400)));

    // Fragments of at most 1000 bytes, so the limit is crossed by a sum, not by one piece.
    auto fragments = [](int total, char letter) {
        QList<QByteArray> pieces;
        for (int done = 0; done < total; done += 1000)
            pieces << QByteArray(qMin(1000, total - done), letter);
        return pieces;
    };
    const QList<QByteArray> early = fragments(sentWhileSending, 'a');
    const QList<QByteArray> late = fragments(sentWhilePolling, 'b');
    if (!early.isEmpty())
        engine->writeReplies = {WriteReply{0, 0, SPEECH_REC_RESULT_READY}};
    for (int i = 0; i < early.size(); ++i)
        engine->resultReplies << ResultReply{
            0, i + 1 < early.size() ? SPEECH_REC_RESULT_READY : SPEECH_REC_INCOMPLETE, early.at(i)};
    // The single block asks for one query only; the rest of the early text comes
    // with the first polls, which is where it would arrive from a real service too.
    for (int i = 0; i < late.size(); ++i)
        engine->resultReplies << ResultReply{
            0, i + 1 < late.size() ? SPEECH_REC_INCOMPLETE : SPEECH_REC_COMPLETE, late.at(i)};
    if (late.isEmpty())
        engine->resultReplies << ResultReply{0, SPEECH_REC_COMPLETE, {}};

    runRecognizer();

    if (accepted) {
        QCOMPARE(dispatched().size(), 1);
        const QString text = dispatched().first().mid(5);
        QCOMPARE(text.size(), 4095);
        QCOMPARE(text, QString(sentWhileSending, QLatin1Char('a')) +
                           QString(sentWhilePolling, QLatin1Char('b')));
        QVERIFY(!log->contains(QStringLiteral("no enough buffer for rec_result !")));
    } else {
        QVERIFY(dispatched().isEmpty());
        QVERIFY(log->contains(QStringLiteral("no enough buffer for rec_result !")));
        QVERIFY(log->contains(
            QStringLiteral("recognition result too long to type: 4096 bytes, at most 4095 !")));
        QVERIFY(!log->contains(QStringLiteral("Quillet Auto Transform end !")));
    }
    // Dropped text is no silent failure: the user is told why nothing came.
    QCOMPARE(prompts,
             accepted ? QStringList() : QStringList{QStringLiteral("识别结果太长，无法输入")});
    QVERIFY2(ops().endsWith(QStringLiteral("End Logout")), qPrintable(ops()));
}

void TestQuilletIat::failures_data()
{
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<QStringList>("logLines");
    QTest::addColumn<bool>("recognized");   // the text is still dispatched
    QTest::addColumn<bool>("sessionBegun"); // session end gets the session's id
    QTest::addColumn<QString>("prompt");    // what the user is shown, if anything

    const QString none;
    QTest::newRow("login fails, run goes on")
        << Failure::Login << QStringList{QStringLiteral("SpeechLogin failed !")} << true << true
        << QStringLiteral("语音服务无法连接");
    QTest::newRow("no userwords.txt") << Failure::UserWordsMissing
                                      << QStringList{QStringLiteral("Open userwords.txt failed !"),
                                                     QStringLiteral("UploadUserwords failed !")}
                                      << true << true << none;
    QTest::newRow("word list too big for memory")
        << Failure::UserWordsOutOfMemory
        << QStringList{QStringLiteral("Out of memory !"),
                       QStringLiteral("UploadUserwords failed !")}
        << true << true << none;
    QTest::newRow("word list read short")
        << Failure::UserWordsReadShort
        << QStringList{QStringLiteral("Read userwords.txt fialed !"),
                       QStringLiteral("UploadUserwords failed !")}
        << true << true << none;
    QTest::newRow("upload call fails") << Failure::Upload
                                       << QStringList{QStringLiteral("SpeechUploadData failed !"),
                                                      QStringLiteral("UploadUserwords failed !")}
                                       << true << true << none;
    QTest::newRow("no record.wav")
        << Failure::AudioMissing << QStringList{QStringLiteral("open audioFile failed !n")} << false
        << false << none;
    QTest::newRow("audio too big for memory")
        << Failure::AudioOutOfMemory << QStringList{QStringLiteral("out of memory !")} << false
        << false << none;
    QTest::newRow("audio read short")
        << Failure::AudioReadShort << QStringList{QStringLiteral("read audioFile error!")} << false
        << false << none;
    QTest::newRow("record.wav is a folder")
        << Failure::AudioIsFolder
        << QStringList{QStringLiteral("open audioFile failed: ./record.wav is a folder !")} << false
        << false << none;
    QTest::newRow("session cannot begin: no model")
        << Failure::Begin << QStringList{QStringLiteral("RecogSessionBegin failed !")} << false
        << false << QStringLiteral("未安装该语言的语音模型");
    QTest::newRow("a block write fails")
        << Failure::BlockWrite << QStringList{QStringLiteral("RecogAudioWrite failed !")} << false
        << true << QStringLiteral("语音识别出错");
    QTest::newRow("the final write fails: too much audio")
        << Failure::FinalWrite << QStringList{QStringLiteral("RecogAudioWrite failed !")} << false
        << true << QStringLiteral("说话时间太长");
    QTest::newRow("a query while sending fails")
        << Failure::QueryWhileSending << QStringList{QStringLiteral("RecogGetResult failed !")}
        << false << true << QStringLiteral("语音识别出错");
    QTest::newRow("a query while polling fails: server unreachable")
        << Failure::QueryWhilePolling << QStringList{QStringLiteral("RecogGetResult failed !")}
        << false << true << QStringLiteral("语音服务无法连接");
    QTest::newRow("the result never completes")
        << Failure::PollingTimeout
        << QStringList{QStringLiteral("RecogGetResult timed out after 0.4 s !")} << false << true
        << none;
}

void TestQuilletIat::failures()
{
    QFETCH(Failure, failure);
    QFETCH(QStringList, logLines);
    QFETCH(bool, recognized);
    QFETCH(bool, sessionBegun);
    QFETCH(QString, prompt);

    engine->resultReplies = {ResultReply{0, SPEECH_REC_COMPLETE, "go forward"}};
    switch (failure) {
    case Failure::Login:
        engine->loginError = SpeechError::ServerUnreachable;
        break;
    case Failure::UserWordsMissing:
        QVERIFY(QFile::remove(QStringLiteral("userwords.txt")));
        break;
    case Failure::UserWordsOutOfMemory:
        // More than the SDK's 32-bit length can carry.
        QVERIFY(writeSparseFile(QStringLiteral("userwords.txt"), Q_INT64_C(5) << 30));
        break;
    case Failure::UserWordsReadShort:
        QVERIFY(QFile::remove(QStringLiteral("userwords.txt")));
        if (!QFile::exists(shortReadFile))
            QSKIP("no sysfs here");
        QVERIFY(QFile::link(shortReadFile, QStringLiteral("userwords.txt")));
        break;
    case Failure::Upload:
        engine->uploadError = SpeechError::BadReply;
        break;
    case Failure::AudioMissing:
        QVERIFY(QFile::remove(QStringLiteral("record.wav")));
        break;
    case Failure::AudioOutOfMemory:
        if (!writeSparseFile(QStringLiteral("record.wav"), Q_INT64_C(15) << 40))
            QSKIP("the file system holds no 15 TB sparse file");
        break;
    case Failure::AudioReadShort:
        QVERIFY(QFile::remove(QStringLiteral("record.wav")));
        if (!QFile::exists(shortReadFile))
            QSKIP("no sysfs here");
        QVERIFY(QFile::link(shortReadFile, QStringLiteral("record.wav")));
        break;
    case Failure::AudioIsFolder:
        QVERIFY(QFile::remove(QStringLiteral("record.wav")));
        QVERIFY(QDir().mkdir(QStringLiteral("record.wav")));
        break;
    case Failure::Begin:
        engine->beginError = SpeechError::NoModel;
        break;
    case Failure::BlockWrite:
        engine->writeReplies = {WriteReply{0, 0, SPEECH_REC_INCOMPLETE},
                                WriteReply{SpeechError::DecodeFailed, 0, 0}};
        break;
    case Failure::FinalWrite:
        QVERIFY(writeFile(QStringLiteral("record.wav"), QByteArray()));
        engine->writeReplies = {WriteReply{SpeechError::TooMuchAudio, 0, 0}};
        break;
    case Failure::QueryWhileSending:
        engine->writeReplies = {WriteReply{0, 0, SPEECH_REC_RESULT_READY}};
        engine->resultReplies = {ResultReply{SpeechError::DecodeFailed, SPEECH_REC_INCOMPLETE, {}}};
        break;
    case Failure::QueryWhilePolling:
        engine->resultReplies = {
            ResultReply{0, SPEECH_REC_INCOMPLETE, "go "},
            ResultReply{SpeechError::ServerUnreachable, SPEECH_REC_INCOMPLETE, {}}};
        break;
    case Failure::PollingTimeout:
        engine->resultTimeout = 400;
        engine->resultReplies.clear();
        engine->defaultResult = ResultReply{0, SPEECH_REC_INCOMPLETE, "more "};
        break;
    }

    const qint64 elapsed = runRecognizer();

    int at = -1;
    for (const QString &line : logLines) {
        const int found = log->lines().indexOf(line, at + 1);
        QVERIFY2(found > at, qPrintable(QStringLiteral("missing or out of order: ") + line));
        at = found;
    }
    if (recognized)
        QCOMPARE(dispatched(), QStringList{QStringLiteral("type:go forward")});
    else
        QVERIFY(dispatched().isEmpty());

    // Session end and logout on every path, in that order, once each.
    QCOMPARE(engine->callsOf(Op::End).size(), 1);
    QCOMPARE(engine->callsOf(Op::Logout).size(), 1);
    QVERIFY2(ops().endsWith(QStringLiteral("End Logout")), qPrintable(ops()));
    const QByteArray endId = engine->callsOf(Op::End).first().sessionId;
    if (sessionBegun)
        QCOMPARE(endId, engine->sessionId);
    else
        QVERIFY(endId.isNull());
    const bool audioRead = failure != Failure::AudioMissing &&
                           failure != Failure::AudioOutOfMemory &&
                           failure != Failure::AudioIsFolder && failure != Failure::AudioReadShort;
    QCOMPARE(engine->callsOf(Op::Begin).size(), audioRead ? 1 : 0);
    const bool wordsRead = failure != Failure::UserWordsMissing &&
                           failure != Failure::UserWordsOutOfMemory &&
                           failure != Failure::UserWordsReadShort;
    QCOMPARE(engine->callsOf(Op::Upload).size(), wordsRead ? 1 : 0);

    if (prompt.isEmpty())
        QVERIFY2(prompts.isEmpty(), qPrintable(prompts.join(QLatin1Char('|'))));
    else
        QCOMPARE(prompts, QStringList{prompt});

    if (failure == Failure::PollingTimeout) {
        QVERIFY(elapsed >= 400);
        QVERIFY2(elapsed < 5000, qPrintable(QString::number(elapsed)));
        QVERIFY(engine->callsOf(Op::GetResult).size() >= 2);
    }
}

void TestQuilletIat::parameterChoice_data()
{
    QTest::addColumn<QList<int>>(
        "modes"); // typing, language, intelligence, language, translation, language
    QTest::addColumn<QByteArray>("expected");

    const QList<int> languages{-1, 0, 1, 2, 3, 4, 5};
    const char *modeNames[] = {"typing", "intelligent", "translation"};
    for (int mode = 0; mode < 3; ++mode) {
        for (int language : languages) {
            QList<int> modes{0, 0, 0, 0, 0, 0};
            modes[2 * mode] = 1;
            modes[2 * mode + 1] = language;
            const QByteArray expected = language == 1 ? ENG : language == 2 ? CAN : MAN;
            QTest::addRow("%s, language %d", modeNames[mode], language) << modes << expected;
        }
    }
    QTest::newRow("no mode set") << QList<int>{0, 1, 0, 2, 0, 1} << MAN;
    QTest::newRow("mode value 2 is not set") << QList<int>{2, 1, 0, 0, 0, 0} << MAN;
    // Several modes at 1: later checks override, unless their language selects nothing.
    QTest::newRow("typing English, intelligent Cantonese") << QList<int>{1, 1, 1, 2, 0, 0} << CAN;
    QTest::newRow("typing English, intelligent Mandarin keeps English")
        << QList<int>{1, 1, 1, 0, 0, 0} << ENG;
    QTest::newRow("typing Cantonese, intelligent Henan dialect")
        << QList<int>{1, 2, 1, 4, 0, 0} << MAN;
    QTest::newRow("typing English, translation Sichuan keeps English")
        << QList<int>{1, 1, 0, 0, 1, 3} << ENG;
    QTest::newRow("typing Cantonese, translation Henan keeps Cantonese")
        << QList<int>{1, 2, 0, 0, 1, 4} << CAN;
    QTest::newRow("intelligent English, translation Cantonese")
        << QList<int>{0, 0, 1, 1, 1, 2} << CAN;
    QTest::newRow("all three, last selecting wins") << QList<int>{1, 2, 1, 1, 1, 0} << ENG;
    QTest::newRow("all three English to Cantonese") << QList<int>{1, 1, 1, 1, 1, 2} << CAN;
}

void TestQuilletIat::parameterChoice()
{
    QFETCH(QList<int>, modes);
    QFETCH(QByteArray, expected);
    setModes(modes[0], modes[1], modes[2], modes[3], modes[4], modes[5]);

    runRecognizer();

    const QList<ScriptedEngine::Call> begins = engine->callsOf(Op::Begin);
    QCOMPARE(begins.size(), 1);
    QCOMPARE(begins.first().params, expected);
    QVERIFY(begins.first().name.isNull());
    const ScriptedEngine::Call login = engine->callsOf(Op::Login).first();
    QCOMPARE(login.params, QByteArray("appid = 4d7c2a19, work_dir = ."));
    QVERIFY(login.name.isNull());
}

void TestQuilletIat::uploadsTheWordListUnchanged()
{
    // Bytes as they are: CR LF kept, nothing parsed.
    const QByteArray words = "Ferrule\r\nKestrel\r\n\xe5\xa1\x94\xe6\xb2\x83\r\n";
    QVERIFY(writeFile(QStringLiteral("userwords.txt"), words));
    runRecognizer();
    const QList<ScriptedEngine::Call> uploads = engine->callsOf(Op::Upload);
    QCOMPARE(uploads.size(), 1);
    QCOMPARE(uploads.first().name, QByteArray("userwords"));
    QCOMPARE(uploads.first().params, QByteArray("sub = uup, dtt = userword"));
    QCOMPARE(uploads.first().data, words);
    QVERIFY(log->contains(QStringLiteral("UploadUserwords successed !")));
}

void TestQuilletIat::dispatchByMode_data()
{
    QTest::addColumn<QList<int>>("modes"); // the six of setModes, then TranslationResultLanguage
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("prompt");
    QTest::addColumn<QString>("recognized"); // what the engine returns; empty: the text

    const QString text = QStringLiteral("打开百度");
    // The page comes from ./websearch.txt: the table was loaded.
    const QString page = QStringLiteral("open:https://www.baidu.com/s?wd=");
    QTest::newRow("typing") << QList<int>{1, 0, 0, 0, 0, 0} << QStringList{"type:" + text}
                            << QString() << QString();
    QTest::newRow("intelligent: typed, shown and run")
        << QList<int>{0, 0, 1, 0, 0, 0} << QStringList{"type:" + text, page} << text << QString();
    QTest::newRow("translation: log only")
        << QList<int>{0, 0, 0, 0, 1, 0} << QStringList{}
        << QStringLiteral("请在speech.ini设翻译服务") << QString();
    QTest::newRow("translation English to English needs no service")
        << QList<int>{0, 0, 0, 0, 1, 1, 0} << QStringList{"type:" + text} << QString() << QString();
    QTest::newRow("typing and intelligent: typed, then interpreted")
        << QList<int>{1, 0, 1, 0, 0, 0} << QStringList{"type:" + text, "type:" + text, page} << text
        << QString();
    QTest::newRow("no mode") << QList<int>{0, 0, 0, 0, 0, 0} << QStringList{} << QString()
                             << QString();
    // Engines that recognize Mandarin word by word put blanks between the words.
    QTest::newRow("typing: the blanks between Chinese words go")
        << QList<int>{1, 0, 0, 0, 0, 0} << QStringList{"type:" + text} << QString()
        << QStringLiteral("打开 百度");
    QTest::newRow("intelligent: typed, shown and run without them")
        << QList<int>{0, 0, 1, 0, 0, 0} << QStringList{"type:" + text, page} << text
        << QStringLiteral("打开  百度");
}

void TestQuilletIat::dispatchByMode()
{
    QFETCH(QList<int>, modes);
    QFETCH(QStringList, expected);
    QFETCH(QString, prompt);
    QFETCH(QString, recognized);
    setModes(modes[0], modes[1], modes[2], modes[3], modes[4], modes[5]);
    (*settingsMap())[SettingKey::TranslationResultLanguage] = modes.value(6);
    const QString text = QStringLiteral("打开百度");
    engine->resultReplies = {
        ResultReply{0, SPEECH_REC_COMPLETE, (recognized.isEmpty() ? text : recognized).toUtf8()}};

    runRecognizer();

    QCOMPARE(dispatched(), expected);
    QCOMPARE(prompts, prompt.isEmpty() ? QStringList() : QStringList{prompt});
    // The text always reaches the log, framed by two rules.
    const QString rule(61, QLatin1Char('='));
    const int end = log->lines().indexOf(QStringLiteral("Quillet Auto Transform end !"));
    QVERIFY(end >= 0);
    QCOMPARE(log->lines().mid(end + 1, 3), (QStringList{rule, text, rule}));
}

void TestQuilletIat::translation_data()
{
    QTest::addColumn<QByteArray>("params"); // what the text was recognized as
    QTest::addColumn<int>("target");        // TranslationResultLanguage
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("mode"); // of the stub server; -1 a closed port, -2 no request wanted
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("expected"); // what is typed, or the prompt of a failure
    QTest::addColumn<QString>("logged");

    const QString text = QStringLiteral("打开百度");
    const int answer = StubHttpServer::Answer;
    auto shape = [&](const char *name, const QString &content, const QString &typed) {
        QTest::newRow(name) << MAN << 0 << text << answer << 200 << chatReply(content) << typed
                            << "translation: Mandarin to English: " + typed;
    };
    shape("plain", "Open Baidu", "Open Baidu");
    shape("reasoning first", "<think>\n打开 is open.\n</think>\n\nOpen Baidu.", "Open Baidu.");
    shape("quoted", " \"Open Baidu\"\n", "Open Baidu");
    shape("labelled", "Translation: Open Baidu", "Open Baidu");
    shape("Chinese label, Chinese quotes", "翻译：“Open Baidu”", "Open Baidu");
    shape("quotes inside are kept", "\"Open\" means \"打开\"", "\"Open\" means \"打开\"");
    QTest::newRow("control characters in the answer stay out of the log")
        << MAN << 0 << text << answer << 200
        << chatReply(QStringLiteral("Open\x1b]0;owned\x07 Baidu\ntranslation: forged"))
        << QStringLiteral("Open\x1b]0;owned\x07 Baidu\ntranslation: forged")
        << "Mandarin to English: Open\\x1b]0;owned\\x07 Baidu\\ntranslation: forged";
    QTest::newRow("Mandarin to Cantonese, corner quotes")
        << MAN << 1 << text << answer << 200 << chatReply("「打開百度」") << "打開百度"
        << "Mandarin to Cantonese: 打開百度";
    QTest::newRow("English to Cantonese")
        << ENG << 1 << "open baidu" << answer << 200 << chatReply("打開百度") << "打開百度"
        << "English to Cantonese: 打開百度";
    QTest::newRow("Cantonese to English")
        << CAN << 0 << "打開百度" << answer << 200 << chatReply("Open Baidu") << "Open Baidu"
        << "Cantonese to English: Open Baidu";
    QTest::newRow("English to English: no request")
        << ENG << 0 << "open baidu" << -2 << 0 << QByteArray() << "open baidu"
        << "English to English, typed as recognized";
    QTest::newRow("Cantonese to Cantonese: no request")
        << CAN << 1 << "打開百度" << -2 << 0 << QByteArray() << "打開百度"
        << "Cantonese to Cantonese, typed as recognized";
    QTest::newRow("nothing recognized: no request")
        << MAN << 0 << QString() << -2 << 0 << QByteArray() << ""
        << "nothing to translate";

    auto failure = [&](const char *name, int mode, int status, const QByteArray &reply,
                       const char *prompt, const char *logged) {
        QTest::newRow(name) << MAN << 0 << text << mode << status << reply
                            << QString::fromUtf8(prompt) << QString::fromUtf8(logged);
    };
    const char bad[] = "翻译服务回复有误";
    failure("empty", answer, 200, chatReply(" \n"), bad, "answered no translation");
    failure("only reasoning", answer, 200, chatReply("<think>打开 is open"), bad,
            "answered no translation");
    failure("runaway", answer, 200, chatReply(QString(20000, QLatin1Char('a'))), bad,
            "far more than a translation");
    failure("not JSON", answer, 200, "Open Baidu", bad, "is not JSON with a choices[0].message");
    failure("no choices", answer, 200, R"({"choices":[]})", bad, "starting {\"choices\":[]}");
    failure("401", answer, 401, R"({"error":{"message":"Invalid API key"}})", "翻译服务拒绝了请求",
            "refused the request with HTTP 401 (Invalid API key)");
    failure("500", answer, 500, "", "翻译服务拒绝了请求", "with HTTP 500; check url, model");
    failure("refused", -1, 0, "", "翻译服务无法连接", "cannot reach the translation service");
    failure("no answer within the time-out", StubHttpServer::NeverAnswer, 0, "", "翻译服务没有响应",
            "did not answer within 1 s");
    failure("a reply that never ends", StubHttpServer::Endless, 200, "", bad,
            "is longer than 1048576 bytes, far more than a translation; reading stopped");
}

void TestQuilletIat::translation()
{
    QFETCH(QByteArray, params);
    QFETCH(int, target);
    QFETCH(QString, text);
    QFETCH(int, mode);
    QFETCH(int, status);
    QFETCH(QByteArray, reply);
    QFETCH(QString, expected);
    QFETCH(QString, logged);
    quint16 port = 0;
    if (mode == -1) {
        port = StubHttpServer::closedPort();
        QVERIFY(port != 0);
    }
    // With no request wanted, one that comes anyway is only recorded.
    StubHttpServer server(mode < 0 ? StubHttpServer::Close : StubHttpServer::Mode(mode), status,
                          reply);
    QVERIFY(writeTranslationSettings(mode == -1 ? port : server.port()));

    QVERIFY(resetPeakResident());
    const qint64 before = residentKb();
    const Translator::Result result = Translator::translateRecognized(
        text.toUtf8().constData(), "appid = 4d7c2a19, work_dir = .", params, target);
    // However long the reply, it costs about its bound at most, and is let go.
    const qint64 grownKb = peakResidentKb() - before;
    QVERIFY2(grownKb < 32 * 1024, qPrintable(QString::number(grownKb)));
    if (mode == StubHttpServer::Endless) // past the log capture
        std::fprintf(stderr, "endless reply: peak %lld kB above the start\n", grownKb);

    QCOMPARE(result.outcome == Translator::Outcome::Translated ? result.text
                                                               : Translator::prompt(result.outcome),
             expected);
    QVERIFY2(log->contains(logged), qPrintable(log->lines().join(QLatin1Char('\n'))));
    for (const QString &line : log->lines())
        QVERIFY2(!line.contains(QLatin1String(translationKey)), qPrintable(line));
    QCOMPARE(server.requests().size(), mode < 0 ? 0 : 1);
    if (mode < 0)
        return;
    // The instruction names both languages; the text goes as the user's message.
    const QJsonArray messages = requestBody(server.requests().first()).value("messages").toArray();
    const QString from = params == ENG   ? "English"
                         : params == CAN ? "Cantonese"
                                         : "Mandarin Chinese";
    QVERIFY(messages[0].toObject().value("content").toString().contains(
        "spoken in " + from + ", into " + (target == 1 ? "Cantonese" : "English")));
    QCOMPARE(messages[1].toObject().value("content").toString(), text);
}

void TestQuilletIat::translationIsTyped()
{
    // The whole run in translation mode: recognized, translated, typed like typing mode.
    StubHttpServer server(StubHttpServer::Answer, 200,
                          chatReply(QStringLiteral("<think>ok</think>Open Baidu")));
    QVERIFY(writeTranslationSettings(server.port()));
    setModes(0, 0, 0, 0, 1, Mandarin);
    (*settingsMap())[SettingKey::TranslationResultLanguage] = 0;
    const QString text = QStringLiteral("打开百度");
    engine->resultReplies = {ResultReply{0, SPEECH_REC_COMPLETE, text.toUtf8()}};

    runRecognizer();

    QCOMPARE(dispatched(), QStringList{"type:Open Baidu"});
    QVERIFY(prompts.isEmpty());
    QVERIFY(log->lines().contains(text));
    QCOMPARE(server.requests().size(), 1);
    const QByteArray request = server.requests().first();
    QVERIFY(request.startsWith("POST /v1/chat/completions HTTP/1.1\r\n"));
    QVERIFY(request.contains(QByteArray("\r\nAuthorization: Bearer ") + translationKey + "\r\n"));
    const QJsonObject body = requestBody(request);
    QCOMPARE(body.value("model").toString(), QStringLiteral("qwen2.5"));
    QCOMPARE(body.value("messages").toArray()[0].toObject().value("role").toString(),
             QStringLiteral("system"));
}

void TestQuilletIat::nulInAReplyIsABlank_data()
{
    QTest::addColumn<int>("translation"); // the TranslationModel key
    QTest::newRow("recognized") << 0;
    QTest::newRow("translated") << 1;
}

void TestQuilletIat::nulInAReplyIsABlank()
{
    // A NUL in what a service sent neither cuts the text nor is typed.
    QFETCH(int, translation);
    StubHttpServer server(StubHttpServer::Answer, 200,
                          chatReply(QString::fromUtf16(u"Open\u0000Baidu", 10)));
    QVERIFY(writeTranslationSettings(server.port()));
    setModes(1 - translation, English, 0, 0, translation, Mandarin);
    (*settingsMap())[SettingKey::TranslationResultLanguage] = 0;
    engine->resultReplies = {ResultReply{0, SPEECH_REC_COMPLETE, QByteArray("打开\0百度", 13)}};

    runRecognizer();

    // The blank it became goes too: blanks between Chinese characters are dropped.
    QCOMPARE(dispatched(), QStringList{translation ? "type:Open Baidu" : "type:打开百度"});
}

// Two English dictations into one control read as typed text; another control
// starts afresh.
void TestQuilletIat::dictationsJoinInOnePlace()
{
    setModes(1, English, 0, 0, 0, 0);
    const auto dictate = [this](const char *said) {
        engine->resultReplies = {ResultReply{0, SPEECH_REC_COMPLETE, said}};
        runRecognizer();
    };
    dictate("young man");
    dictate("eight of spades.");
    dictate("好的");
    desktop->target.focus += 1;
    dictate("again");
    QCOMPARE(dispatched(),
             (QStringList{"type:young man", "type: eight of spades.", "type:好的", "type:again"}));
}

QTEST_MAIN(TestQuilletIat)
#include "tst_quilletiat.moc"
