// What the speech page's fields write into speech.ini: only what changed, every other
// line as it stands, without the page and its widgets.

#include "ui/speechsettingsfields.h"

#include <QtTest>

Q_DECLARE_METATYPE(SpeechSettingsFields)

class TestSpeechSettingsFields : public QObject
{
    Q_OBJECT

private slots:
    void editsOnlyWhatChanged_data();
    void editsOnlyWhatChanged();
};

namespace {
SpeechSettingsFields fieldsOf(const QString &text)
{
    SpeechConfig config;
    QString error;
    if (!SpeechConfig::parse(text, QStringLiteral("/"), &config, &error))
        qFatal("%s", qPrintable(error));
    return SpeechSettingsFields::of(config);
}
} // namespace

void TestSpeechSettingsFields::editsOnlyWhatChanged_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<SpeechSettingsFields>("fields");
    QTest::addColumn<QString>("expected");

    const QString odd = QStringLiteral("# mine\r\n[Remote]\r\n URL=http://a  ; old\r\n"
                                       "timeout = 2.4\r\n[translation]\r\nurl = http://t\r\n");
    QTest::newRow("nothing changed: not a byte moves") << odd << fieldsOf(odd) << odd;

    const QString remote = QStringLiteral("engine = remote\n[remote]\nurl = http://a\n");
    SpeechSettingsFields embedded = fieldsOf(remote);
    embedded.remote = false;
    QTest::newRow("back to the embedded engine")
        << remote << embedded << QStringLiteral("engine = embedded\n[remote]\nurl = http://a\n");

    const QString model = QStringLiteral("[model.mandarin]\nacoustic_model = /a\n"
                                         "language_model = /l\ndictionary = /d\n# kept\n");
    SpeechSettingsFields cleared = fieldsOf(model);
    cleared.models[QStringLiteral("mandarin")] = SpeechModelPaths();
    QTest::newRow("a model cleared: its three lines go")
        << model << cleared << QStringLiteral("[model.mandarin]\n# kept\n");

    const QString translation = QStringLiteral("[translation]\nurl = http://t\n");
    SpeechSettingsFields slow = fieldsOf(translation);
    slow.translationConnectS = 2;
    slow.translationReplyS = 30;
    QTest::newRow("translation time-outs")
        << translation << slow
        << QStringLiteral("[translation]\nurl = http://t\nconnect_timeout = 2\ntimeout = 30\n");
}

void TestSpeechSettingsFields::editsOnlyWhatChanged()
{
    QFETCH(QString, text);
    QFETCH(SpeechSettingsFields, fields);
    QFETCH(QString, expected);
    QCOMPARE(fields.problem(), QString());
    QCOMPARE(fields.editedText(text, fieldsOf(text)), expected);
}

QTEST_GUILESS_MAIN(TestSpeechSettingsFields)
#include "tst_speechsettingsfields.moc"
