// The "语音服务" page driven through its widgets: the ready services, "测试" against
// an HTTP server of the test's own on 127.0.0.1 (and the embedded engine), what a
// save does to speech.ini, and a speech.ini it must leave alone.

#include "common/child.h"
#include "common/files.h"
#include "common/logcapture.h"
#include "common/settingsenv.h"
#include "common/stubhttpserver.h"

#include "recognition/modelfolder.h"
#include "recognition/speechinidocument.h"
#include "ui/softwaresettingsdialog.h"
#include "ui/speechsettingspage.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QtTest>

namespace {
const char apiKey[] = "sk-page-7c1d";

void setText(QWidget *page, const char *name, const QString &text)
{
    child<QLineEdit>(page, name)->setText(text);
}

// Clicks "测试" and waits for its outcome.
QString runTest(QWidget *page, const char *button, const char *label)
{
    QPushButton *test = child<QPushButton>(page, button);
    QLabel *result = child<QLabel>(page, label);
    QTest::mouseClick(test, Qt::LeftButton);
    if (!QTest::qWaitFor([&] { return test->isEnabled(); }, 20000))
        return QStringLiteral("test did not end");
    return result->text();
}

void save(QWidget *page)
{
    QTest::mouseClick(child<QPushButton>(page, "saveButton"), Qt::LeftButton);
}

QString status(QWidget *page)
{
    return child<QLabel>(page, "speechIniStatusLabel")->text();
}

const QByteArray keptText = "# my notes on speech\n"
                            "result_timeout = 30   # waits longer\n"
                            "\n"
                            "[remote]\n"
                            "url = http://127.0.0.1:9/v1   ; old server\n"
                            "language.cantonese = zh\n"
                            "# comments after the last setting stay with it\n"
                            "\n"
                            "[model.english]\n"
                            "acoustic_model = en/am\n"
                            "language_model = en/lm.bin\n"
                            "dictionary = en/words.dict\n";
} // namespace

class TestSpeechSettingsPage : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(env.enter()); }

    void presetsFillAddressAndModel_data();
    void presetsFillAddressAndModel();
    void speechTestShowsOutcome_data();
    void speechTestShowsOutcome();
    void translationTestShowsOutcome_data();
    void translationTestShowsOutcome();
    void saveKeepsOtherLinesAndHidesKey();
    void onePartOfAModelWritesAllThree();
    void documentPlacesValues_data();
    void documentPlacesValues();
    void sampleFileTakesTheSettings_data();
    void sampleFileTakesTheSettings();
    void refusedEditsWriteNothing_data();
    void refusedEditsWriteNothing();
    void unreadableFileLeftUntouched_data();
    void unreadableFileLeftUntouched();
    void modelPartsFoundByName_data();
    void modelPartsFoundByName();
    void settingsWindowShowsPage();

private:
    SettingsEnv env;
};

void TestSpeechSettingsPage::presetsFillAddressAndModel_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < SpeechSettingsPage::presets().size(); ++i)
        QTest::newRow(qPrintable(SpeechSettingsPage::presets().at(i).name)) << i + 1;
}

void TestSpeechSettingsPage::presetsFillAddressAndModel()
{
    QFETCH(int, index);
    SpeechSettingsPage page;
    setText(&page, "remoteApiKeyEdit", QLatin1String(apiKey));
    QComboBox *presets = child<QComboBox>(&page, "servicePresetComboBox");
    presets->setCurrentIndex(index);
    emit presets->activated(index); // what a choice in the list sends
    const SpeechSettingsPage::Preset &preset = SpeechSettingsPage::presets().at(index - 1);
    QCOMPARE(child<QLineEdit>(&page, "remoteUrlEdit")->text(), preset.url);
    QCOMPARE(child<QLineEdit>(&page, "remoteModelEdit")->text(), preset.model);
    QVERIFY(preset.url.startsWith(QLatin1String("http")));
    QVERIFY(!preset.model.isEmpty());
    // The key stays, and every field can still be edited.
    QCOMPARE(child<QLineEdit>(&page, "remoteApiKeyEdit")->text(), QLatin1String(apiKey));
    QVERIFY(!child<QLineEdit>(&page, "remoteUrlEdit")->isReadOnly());
}

void TestSpeechSettingsPage::speechTestShowsOutcome_data()
{
    QTest::addColumn<int>("server"); // StubHttpServer::Mode, or -1: a port where none listens
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("url"); // %1: the server's port
    QTest::addColumn<bool>("remote");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("logLine");
    QTest::addColumn<int>("testLanguage"); // index of "测试语言"

    const QString local = QStringLiteral("http://127.0.0.1:%1");
    QTest::newRow("recognized") << int(StubHttpServer::Answer) << 200
                                << QByteArray(R"({"text":"今天天气很好"})") << local << true
                                << QStringLiteral(
                                       "识别结果：今天天气很好\n（录音里说的是：今天天气很好）")
                                << QString() << 0;
    QTest::newRow("nothing recognized")
        << int(StubHttpServer::Answer) << 200 << QByteArray(R"({"text":""})") << local << true
        << QStringLiteral("语音服务可用，但这段录音没有识别出文字。（录音里说的是：今天天气很好）")
        << QString() << 0;
    QTest::newRow("unreachable") << -1 << 0 << QByteArray() << local << true
                                 << QStringLiteral("语音服务无法连接")
                                 << QStringLiteral("speech: cannot reach the speech server") << 0;
    QTest::newRow("no answer") << int(StubHttpServer::NeverAnswer) << 0 << QByteArray() << local
                               << true << QStringLiteral("语音服务没有响应")
                               << QStringLiteral("did not answer within 1 s") << 0;
    QTest::newRow("rejected") << int(StubHttpServer::Answer) << 401
                              << QByteArray(R"({"error":{"message":"bad key"}})") << local << true
                              << QStringLiteral("语音服务拒绝了请求")
                              << QStringLiteral("refused the request with HTTP 401 (bad key)") << 0;
    QTest::newRow("bad reply") << int(StubHttpServer::Answer) << 200 << QByteArray("<html>")
                               << local << true << QStringLiteral("语音服务回复有误")
                               << QStringLiteral("is not JSON with a \"text\" string") << 0;
    QTest::newRow("not a web address")
        << int(StubHttpServer::Answer) << 200 << QByteArray()
        << QStringLiteral("ftp://127.0.0.1:%1") << true << QStringLiteral("语音设置文件有误")
        << QStringLiteral("is not an http or https URL") << 0;
    QTest::newRow("embedded English") << int(StubHttpServer::Answer) << 200 << QByteArray() << local
                                      << false << QStringLiteral("识别结果：") << QString() << 2;
    QTest::newRow("no model, no service")
        << int(StubHttpServer::Answer) << 200 << QByteArray() << local << false
        << QStringLiteral("未安装该语言的语音模型")
        << QStringLiteral("speech: no speech model for mandarin") << 0;
}

void TestSpeechSettingsPage::speechTestShowsOutcome()
{
    QFETCH(int, server);
    QFETCH(int, status);
    QFETCH(QByteArray, reply);
    QFETCH(QString, url);
    QFETCH(bool, remote);
    QFETCH(QString, shown);
    QFETCH(QString, logLine);
    QFETCH(int, testLanguage);

    StubHttpServer stub(StubHttpServer::Mode(qMax(server, 0)), status, reply);
    const quint16 port = server < 0 ? StubHttpServer::closedPort() : stub.port();
    LogCapture log;
    SpeechSettingsPage page;
    child<QRadioButton>(&page, remote ? "engineRemoteRadio" : "engineEmbeddedRadio")
        ->setChecked(true);
    setText(&page, "remoteUrlEdit", url.arg(port));
    setText(&page, "remoteModelEdit", QStringLiteral("whisper-1"));
    setText(&page, "remoteApiKeyEdit", QLatin1String(apiKey));
    child<QSpinBox>(&page, "remoteConnectTimeoutSpinBox")->setValue(1);
    child<QSpinBox>(&page, "remoteReplyTimeoutSpinBox")->setValue(1);

    child<QComboBox>(&page, "testLanguageComboBox")->setCurrentIndex(testLanguage);

    const QString text = runTest(&page, "speechTestButton", "speechTestResultLabel");
    QVERIFY2(text.startsWith(shown), qPrintable(text));
    if (!logLine.isEmpty())
        QVERIFY2(text.contains(QStringLiteral("日志：")) && text.contains(logLine),
                 qPrintable(text));
    // The test uses what the page shows, before it is saved; the key goes only to the server.
    QVERIFY(!QFileInfo::exists(QStringLiteral("speech.ini")));
    if (server == StubHttpServer::Answer && remote && status == 200 &&
        url.startsWith(QLatin1String("http:"))) {
        QCOMPARE(stub.requests().size(), 1);
        QVERIFY(stub.requests().first().contains(QByteArray("Bearer ") + apiKey));
        QVERIFY(stub.requests().first().contains("whisper-1"));
    }
    for (const QString &line : log.lines())
        QVERIFY2(!line.contains(QLatin1String(apiKey)), qPrintable(line));
    QVERIFY(!text.contains(QLatin1String(apiKey)));
}

void TestSpeechSettingsPage::translationTestShowsOutcome_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("logLine");

    QTest::newRow("translated")
        << 200
        << QByteArray(R"({"choices":[{"message":{"content":"The weather is nice today."}}]})")
        << QStringLiteral("“今天天气很好。”译为：The weather is nice today.") << QString();
    QTest::newRow("rejected") << 403 << QByteArray(R"({"error":{"message":"no such model"}})")
                              << QStringLiteral("翻译服务拒绝了请求")
                              << QStringLiteral("translation: the translation service at");
    QTest::newRow("bad reply") << 200 << QByteArray(R"({"choices":[]})")
                               << QStringLiteral("翻译服务回复有误")
                               << QStringLiteral("translation: the reply of the translation");
}

void TestSpeechSettingsPage::translationTestShowsOutcome()
{
    QFETCH(int, status);
    QFETCH(QByteArray, reply);
    QFETCH(QString, shown);
    QFETCH(QString, logLine);

    StubHttpServer stub(StubHttpServer::Answer, status, reply);
    LogCapture log;
    SpeechSettingsPage page;
    setText(&page, "translationUrlEdit", QStringLiteral("http://127.0.0.1:%1").arg(stub.port()));
    setText(&page, "translationModelEdit", QStringLiteral("qwen2.5"));
    setText(&page, "translationApiKeyEdit", QLatin1String(apiKey));

    const QString text = runTest(&page, "translationTestButton", "translationTestResultLabel");
    QVERIFY2(text.startsWith(shown), qPrintable(text));
    if (!logLine.isEmpty())
        QVERIFY2(text.contains(QStringLiteral("日志：") + logLine), qPrintable(text));
    QCOMPARE(stub.requests().size(), 1);
    QVERIFY(stub.requests().first().contains(QByteArray("Bearer ") + apiKey));
    QVERIFY(stub.requests().first().contains("今天天气很好"));
    for (const QString &line : log.lines())
        QVERIFY2(!line.contains(QLatin1String(apiKey)), qPrintable(line));
}

void TestSpeechSettingsPage::saveKeepsOtherLinesAndHidesKey()
{
    writeAll(QStringLiteral("speech.ini"), keptText);
    QFile::setPermissions(QStringLiteral("speech.ini"), QFile::ReadOwner | QFile::WriteOwner |
                                                            QFile::ReadGroup | QFile::ReadOther);
    LogCapture log;
    {
        SpeechSettingsPage page;
        // The relative model paths show resolved, and stay as written while unchanged.
        QCOMPARE(child<QLineEdit>(&page, "remoteUrlEdit")->text(),
                 QStringLiteral("http://127.0.0.1:9/v1"));
        child<QRadioButton>(&page, "engineRemoteRadio")->setChecked(true);
        setText(&page, "remoteUrlEdit", QStringLiteral("https://api.example.org/v1"));
        setText(&page, "remoteApiKeyEdit", QLatin1String(apiKey));
        child<QSpinBox>(&page, "remoteReplyTimeoutSpinBox")->setValue(12);
        child<QComboBox>(&page, "modelLanguageComboBox")->setCurrentIndex(0);
        setText(&page, "acousticModelEdit", QStringLiteral("/m/zh/am"));
        setText(&page, "languageModelEdit", QStringLiteral("/m/zh/zh.lm.bin"));
        setText(&page, "dictionaryEdit", QStringLiteral("/m/zh/zh.dic"));
        setText(&page, "translationUrlEdit", QStringLiteral("http://127.0.0.1:8081"));
        QVERIFY(page.hasUnsavedChanges());
        save(&page);
        QVERIFY2(status(&page).startsWith(QStringLiteral("已保存")), qPrintable(status(&page)));
        QVERIFY(!page.hasUnsavedChanges());
    }
    QCOMPARE(readAll(QStringLiteral("speech.ini")),
             QByteArray("# my notes on speech\n"
                        "result_timeout = 30   # waits longer\n"
                        "engine = remote\n"
                        "\n"
                        "[remote]\n"
                        "url = https://api.example.org/v1   ; old server\n"
                        "language.cantonese = zh\n"
                        "api_key = sk-page-7c1d\n"
                        "timeout = 12\n"
                        "# comments after the last setting stay with it\n"
                        "\n"
                        "[model.english]\n"
                        "acoustic_model = en/am\n"
                        "language_model = en/lm.bin\n"
                        "dictionary = en/words.dict\n"
                        "\n"
                        "[model.mandarin]\n"
                        "acoustic_model = /m/zh/am\n"
                        "language_model = /m/zh/zh.lm.bin\n"
                        "dictionary = /m/zh/zh.dic\n"
                        "\n"
                        "[translation]\n"
                        "url = http://127.0.0.1:8081\n"));
    QCOMPARE(QFile::permissions(QStringLiteral("speech.ini")),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    for (const QString &line : log.lines())
        QVERIFY2(!line.contains(QLatin1String(apiKey)), qPrintable(line));

    // A page opened afresh shows what was saved; taking the key out removes its line.
    SpeechSettingsPage page;
    QCOMPARE(child<QLineEdit>(&page, "remoteApiKeyEdit")->text(), QLatin1String(apiKey));
    QCOMPARE(child<QLineEdit>(&page, "remoteApiKeyEdit")->echoMode(), QLineEdit::Password);
    setText(&page, "remoteApiKeyEdit", QString());
    save(&page);
    QVERIFY(!readAll(QStringLiteral("speech.ini")).contains("api_key"));
    QVERIFY(readAll(QStringLiteral("speech.ini")).contains("language.cantonese = zh\n"));
}

void TestSpeechSettingsPage::onePartOfAModelWritesAllThree()
{
    SpeechSettingsPage page;
    save(&page); // nothing changed: no file
    QVERIFY(!QFileInfo::exists(QStringLiteral("speech.ini")));
    child<QComboBox>(&page, "modelLanguageComboBox")->setCurrentIndex(2); // 英语
    const QString dictionary = child<QLineEdit>(&page, "dictionaryEdit")->text();
    QVERIFY(dictionary.endsWith(QLatin1String(".dict"))); // the packaged model
    setText(&page, "acousticModelEdit", QStringLiteral("/m/en/am"));
    child<QComboBox>(&page, "modelLanguageComboBox")->setCurrentIndex(0);
    save(&page);
    QVERIFY2(status(&page).startsWith(QStringLiteral("已保存")), qPrintable(status(&page)));
    const QByteArray saved = readAll(QStringLiteral("speech.ini"));
    QVERIFY(saved.startsWith("[model.english]\nacoustic_model = /m/en/am\n"));
    QVERIFY(saved.contains("dictionary = " + dictionary.toUtf8() + "\n"));
    // No key: readable as the user's files are.
    QVERIFY(QFile::permissions(QStringLiteral("speech.ini")) & QFile::ReadOther);
}

void TestSpeechSettingsPage::documentPlacesValues_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value"); // null: the key is taken out
    QTest::addColumn<QString>("expected");

    QTest::newRow("the comment that opens the file stays first")
        << "# mine\n[remote]\nurl = x\n"
        << QString() << "engine"
        << "remote"
        << "# mine\nengine = remote\n[remote]\nurl = x\n";
    QTest::newRow("comments about a section stay above it")
        << "# mine\n\n# the service\n[remote]\nurl = x\n"
        << QString() << "engine"
        << "remote"
        << "# mine\nengine = remote\n\n# the service\n[remote]\nurl = x\n";
    QTest::newRow("[general] is the top")
        << "[General]\nresult_timeout = 3\n[remote]\nurl = x\n"
        << QString() << "engine"
        << "remote"
        << "[General]\nresult_timeout = 3\nengine = remote\n[remote]\nurl = x\n";
    QTest::newRow("a value keeps its key, blanks and comment")
        << "[Remote]\n  URL =  http://a   # old\n"
        << "remote"
        << "url"
        << "http://b"
        << "[Remote]\n  URL =  http://b   # old\n";
    QTest::newRow("the value read is the one set") << "[remote]\nmodel = a\nmodel = b\n"
                                                   << "remote"
                                                   << "model"
                                                   << "c"
                                                   << "[remote]\nmodel = a\nmodel = c\n";
    QTest::newRow("a key out everywhere in its section")
        << "[remote]\napi_key = a\nurl = x\n[translation]\napi_key = t\n[remote]\napi_key = b\n"
        << "remote"
        << "api_key" << QString() << "[remote]\nurl = x\n[translation]\napi_key = t\n[remote]\n";
    QTest::newRow("an empty file") << QString() << "translation"
                                   << "url"
                                   << "http://t"
                                   << "[translation]\nurl = http://t\n";
}

void TestSpeechSettingsPage::documentPlacesValues()
{
    QFETCH(QString, text);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, expected);
    SpeechIniDocument doc(text);
    if (value.isNull())
        doc.remove(section, key);
    else
        doc.setValue(section, key, value);
    QCOMPARE(doc.text(), expected);
    // What the file says afterwards is what was set.
    SpeechConfig config;
    QString error;
    QVERIFY2(SpeechConfig::parse(doc.text(), QStringLiteral("."), &config, &error),
             qPrintable(error));
}

void TestSpeechSettingsPage::sampleFileTakesTheSettings_data()
{
    QTest::addColumn<QByteArray>("newline");
    QTest::newRow("LF") << QByteArray("\n");
    QTest::newRow("CR LF, as written on Windows") << QByteArray("\r\n");
}

void TestSpeechSettingsPage::sampleFileTakesTheSettings()
{
    QFETCH(QByteArray, newline);
    // The commented sample every user starts with: the engine goes under its example.
    QByteArray sample =
        readAll(qEnvironmentVariable("FERRULE_SOURCE_DIR") + QStringLiteral("/data/speech.ini"));
    QVERIFY(sample.contains("\n#engine = embedded\n"));
    sample.replace("\n", newline);
    writeAll(QStringLiteral("speech.ini"), sample);
    SpeechSettingsPage page;
    child<QRadioButton>(&page, "engineRemoteRadio")->setChecked(true);
    setText(&page, "remoteUrlEdit", QStringLiteral("https://api.example.org/v1"));
    save(&page);
    QByteArray expected = sample;
    expected.replace("#engine = embedded" + newline,
                     "#engine = embedded" + newline + "engine = remote" + newline);
    expected += newline + "[remote]" + newline + "url = https://api.example.org/v1" + newline;
    QCOMPARE(readAll(QStringLiteral("speech.ini")), expected);
}

void TestSpeechSettingsPage::refusedEditsWriteNothing_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("problem");

    QTest::newRow("online service without address")
        << QStringLiteral("remoteUrlEdit") << QString() << QStringLiteral("在线服务需要填写地址");
    QTest::newRow("a line break in the key")
        << QStringLiteral("remoteApiKeyEdit") << QStringLiteral("sk-1\nengine = embedded")
        << QStringLiteral("“API 密钥”含有无法保存的字符");
    QTest::newRow("a comment in the model")
        << QStringLiteral("remoteModelEdit") << QStringLiteral("whisper #1")
        << QStringLiteral("“模型”含有无法保存的字符");
    QTest::newRow("a model without its dictionary")
        << QStringLiteral("acousticModelEdit") << QStringLiteral("/m/zh/am")
        << QStringLiteral("普通话模型还缺少：语言模型、词典");
}

void TestSpeechSettingsPage::refusedEditsWriteNothing()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QString, problem);
    writeAll(QStringLiteral("speech.ini"), keptText);
    SpeechSettingsPage page;
    child<QRadioButton>(&page, "engineRemoteRadio")->setChecked(true);
    setText(&page, qPrintable(field), value);
    save(&page);
    QVERIFY2(status(&page).contains(problem), qPrintable(status(&page)));
    QCOMPARE(readAll(QStringLiteral("speech.ini")), keptText);
}

void TestSpeechSettingsPage::unreadableFileLeftUntouched_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<bool>("folder");
    QTest::addColumn<QString>("why");

    QTest::newRow("a wrong value") << QByteArray("engine = fast\n[remote]\nurl = http://x\n")
                                   << false << QStringLiteral("line 1");
    QTest::newRow("a key in the wrong section")
        << QByteArray("[model.english]\nAPI_KEY = ") + apiKey + "\n"
        << false << QStringLiteral("line 2: unknown key or bad value: API_KEY = …");
    QTest::newRow("not UTF-8") << QByteArray("# caf\xe9\n[remote]\nurl = http://x\n") << false
                               << QStringLiteral("not UTF-8");
    QTest::newRow("a folder") << QByteArray() << true << QStringLiteral("speech.ini");
}

void TestSpeechSettingsPage::unreadableFileLeftUntouched()
{
    QFETCH(QByteArray, contents);
    QFETCH(bool, folder);
    QFETCH(QString, why);
    if (folder)
        QVERIFY(QDir().mkdir(QStringLiteral("speech.ini")));
    else
        writeAll(QStringLiteral("speech.ini"), contents);
    const QDateTime modified = QFileInfo(QStringLiteral("speech.ini")).lastModified();

    LogCapture log;
    SpeechSettingsPage page;
    QVERIFY2(status(&page).contains(QStringLiteral("无法读取")) && status(&page).contains(why),
             qPrintable(status(&page)));
    QVERIFY(!child<QPushButton>(&page, "saveButton")->isEnabled());
    QVERIFY(!child<QLineEdit>(&page, "remoteUrlEdit")->isEnabled());
    save(&page);
    QCOMPARE(QFileInfo(QStringLiteral("speech.ini")).isDir(), folder);
    if (!folder)
        QCOMPARE(readAll(QStringLiteral("speech.ini")), contents);
    QCOMPARE(QFileInfo(QStringLiteral("speech.ini")).lastModified(), modified);
    QVERIFY(!status(&page).contains(QLatin1String(apiKey)));
    QVERIFY(log.contains(QStringLiteral("speech settings: ")));
    for (const QString &line : log.lines())
        QVERIFY2(!line.contains(QLatin1String(apiKey)), qPrintable(line));
}

void TestSpeechSettingsPage::modelPartsFoundByName_data()
{
    QTest::addColumn<QStringList>("files"); // a trailing '/' makes a folder
    QTest::addColumn<QStringList>("found"); // acoustic model, language model, dictionary

    QTest::newRow("the layout of pocketsphinx-en-us")
        << QStringList{"en-us/mdef",   "en-us/means",        "en-us/variances",   "en-us/noisedict",
                       "en-us.lm.bin", "en-us-phone.lm.bin", "cmudict-en-us.dict"}
        << QStringList{"en-us", "en-us.lm.bin", "cmudict-en-us.dict"};
    QTest::newRow("acoustic model two levels down, text language model")
        << QStringList{"model/zh_cn.cd_cont_5000/mdef", "model/zh_cn.cd_cont_5000/means",
                       "zh_cn.lm", "zh_cn.dic"}
        << QStringList{"model/zh_cn.cd_cont_5000", "zh_cn.lm", "zh_cn.dic"};
    QTest::newRow("binary language model preferred to its text form")
        << QStringList{"mdef", "means", "yue.lm.bin", "yue.arpa", "yue.dict"}
        << QStringList{".", "yue.lm.bin", "yue.dict"};
    QTest::newRow("two dictionaries, no acoustic model: picked by hand")
        << QStringList{"a.dict", "b.dict", "x.lm.bin", "am/mdef"}
        << QStringList{"", "x.lm.bin", ""};
}

void TestSpeechSettingsPage::modelPartsFoundByName()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, found);
    QTemporaryDir dir;
    for (const QString &file : files) {
        QDir(dir.path()).mkpath(QFileInfo(file).path());
        writeAll(dir.filePath(file), "x");
    }
    const SpeechModelPaths parts = findModelParts(dir.path());
    const auto expected = [&](int i) {
        return found.at(i).isEmpty() ? QString() : QDir::cleanPath(dir.filePath(found.at(i)));
    };
    QCOMPARE(parts.acousticModel, expected(0));
    QCOMPARE(parts.languageModel, expected(1));
    QCOMPARE(parts.dictionary, expected(2));
}

void TestSpeechSettingsPage::settingsWindowShowsPage()
{
    SoftwareSettingsDialog dialog;
    dialog.show();
    QWidget *page = dialog.findChild<QWidget *>(QStringLiteral("speechSettingsPage"));
    QVERIFY(page);
    QVERIFY(!page->isVisible());
    QTest::mouseClick(child<QPushButton>(&dialog, "speechTabButton"), Qt::LeftButton);
    QVERIFY(page->isVisible());
    // Below the title bar, over the whole of the rest, with room for its controls.
    QCOMPARE(page->geometry().bottom(), dialog.height() - 1);
    QVERIFY(page->geometry().top() >= 40);
    QVERIFY2(page->minimumSizeHint().height() <= page->height() &&
                 page->minimumSizeHint().width() <= page->width(),
             qPrintable(QStringLiteral("%1x%2")
                            .arg(page->minimumSizeHint().width())
                            .arg(page->minimumSizeHint().height())));
    QTest::mouseClick(child<QPushButton>(&dialog, "generalTabButton"), Qt::LeftButton);
    QVERIFY(!page->isVisible());
}

QTEST_MAIN(TestSpeechSettingsPage)
#include "tst_speechsettingspage.moc"
