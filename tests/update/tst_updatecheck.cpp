#include "app/settingkeys.h"
#include "app/settings.h"
#include "app/sitehosts.h"
#include "buildconfig.h"
#include "common/logcapture.h"
#include "common/settingsenv.h"
#include "common/stubhttpserver.h"
#include "update/updatecheck.h"
#include "update/updatepolicy.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QMessageBox>
#include <QNetworkReply>
#include <QtTest>

#include <functional>

// Stands in for the browser and the user: records the pages opened and every
// message box, and answers the box with its button.
class NoticeWatcher : public QObject
{
    Q_OBJECT

public:
    NoticeWatcher()
    {
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "openUrl");
        connect(&poll, &QTimer::timeout, this, &NoticeWatcher::answerBox);
        poll.start(10);
    }
    ~NoticeWatcher() override { QDesktopServices::unsetUrlHandler(QStringLiteral("http")); }

    QStringList events;
    QString answer; // the caption of the button to click; the first one when empty

public slots:
    void openUrl(const QUrl &url) { events << QStringLiteral("page ") + url.toString(); }

private:
    void answerBox()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        QStringList buttons;
        for (QAbstractButton *button : box->buttons())
            buttons << button->text();
        events << QStringLiteral("box %1|%2|%3|icon %4|parent %5|quit on close %6")
                      .arg(box->windowTitle(), box->text(), buttons.join(','))
                      .arg(box->icon())
                      .arg(box->parent() ? "yes" : "no")
                      .arg(QGuiApplication::quitOnLastWindowClosed() ? "yes" : "no");
        for (QAbstractButton *button : box->buttons())
            if (answer.isEmpty() || button->text() == answer) {
                button->click();
                return;
            }
    }

    QTimer poll;
};

namespace {

const QString notice = QStringLiteral(
    "box 塔沃更新提醒|塔沃软件更新啦！为了你更好的体验，请前往官网下载更新吧！！！|确定|icon "
    "0|parent no|quit on close no");
const QString reminder = QStringLiteral(
    "box 塔沃更新提醒|塔沃软件更新啦！为了你更好的体验，请前往官网下载更新吧！！！|前往官网,"
    "以后再说|icon 0|parent no|quit on close no");

void setPolicy(int automatic, int reminder, int never)
{
    SettingsMap *settings = settingsMap();
    (*settings)[SettingKey::AutomaticUpdate] = automatic;
    (*settings)[SettingKey::ReminderUpdate] = reminder;
    (*settings)[SettingKey::NotUpdate] = never;
}

// A product page of a real site, as a build with FERRULE_PRODUCT_HOST set has
// (the URL handler catches it).
const QUrl realPage(QStringLiteral("http://www.example.org/mouse"));

QString productPage()
{
    return QStringLiteral("page ") + realPage.toString();
}

} // namespace

Q_DECLARE_METATYPE(UpdatePolicy)

class TestUpdateCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(env.enter());
        QVERIFY(server.isListening());
    }

    void init()
    {
        QGuiApplication::setQuitOnLastWindowClosed(true);
        serverUrl = localUrl(server.port());
        server.clearRequests();
        server.setAnswer(200, QByteArray());
        setPolicy(1, 0, 0);
    }

    void addresses()
    {
        QCOMPARE(updateCheckUrl().toString(),
                 QStringLiteral("http://" FERRULE_UPDATE_HOST ":8001/api2/public/v1/app/update"
                                "?device=1&client=4&version=0"));
        QCOMPARE(productPageUrl().toString(),
                 QStringLiteral("http://" FERRULE_PRODUCT_HOST "/mouse"));
    }

    void request()
    {
        server.setAnswer(200, "{}");
        QVERIFY(runCheck().isEmpty());
        QCOMPARE(server.requests().size(), 1);
        const QList<QByteArray> lines = server.requests().first().split('\n');
        QCOMPARE(lines.first().trimmed(),
                 QByteArray("GET /api2/public/v1/app/update?device=1&client=4&version=0 HTTP/1.1"));
        QVERIFY(lines.contains("Host: 127.0.0.1:" + QByteArray::number(server.port()) + '\r'));
    }

    void replies_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("expectNotice");
        QTest::addColumn<bool>("expectErrorLine");

        QTest::newRow("same version")
            << 200 << QByteArray(R"({"data":{"version":"1.00"}})") << false << false;
        QTest::newRow("newer version")
            << 200 << QByteArray(R"({"data":{"version":"1.01"}})") << true << false;
        QTest::newRow("other members ignored")
            << 200
            << QByteArray(R"({"code":0,"msg":"ok","data":{"url":"x","version":"1.01","size":3}})")
            << true << false;
        QTest::newRow("longer string with the same start")
            << 200 << QByteArray(R"({"data":{"version":"1.00a"}})") << true << false;
        QTest::newRow("10 is greater as a string")
            << 200 << QByteArray(R"({"data":{"version":"10"}})") << true << false;
        QTest::newRow("prefix of the running version")
            << 200 << QByteArray(R"({"data":{"version":"1.0"}})") << false << false;
        QTest::newRow("older version")
            << 200 << QByteArray(R"({"data":{"version":"0.99"}})") << false << false;
        QTest::newRow("2.0 is greater")
            << 200 << QByteArray(R"({"data":{"version":"2.0"}})") << true << false;
        QTest::newRow("empty version")
            << 200 << QByteArray(R"({"data":{"version":""}})") << false << false;
        QTest::newRow("version as a number")
            << 200 << QByteArray(R"({"data":{"version":1.5}})") << false << false;
        QTest::newRow("version at the top level")
            << 200 << QByteArray(R"({"version":"9.99"})") << false << false;
        QTest::newRow("no data") << 200 << QByteArray(R"({"code":0})") << false << false;
        QTest::newRow("data is a string")
            << 200 << QByteArray(R"({"data":"9.99"})") << false << false;
        QTest::newRow("data is an array")
            << 200 << QByteArray(R"({"data":[{"version":"9.99"}]})") << false << false;
        QTest::newRow("document is an array")
            << 200 << QByteArray(R"([{"data":{"version":"9.99"}}])") << false << false;
        QTest::newRow("malformed JSON")
            << 200 << QByteArray(R"({"data":{"version":"9.99"})") << false << false;
        QTest::newRow("empty body") << 200 << QByteArray() << false << false;
        QTest::newRow("server error naming a newer version")
            << 500 << QByteArray(R"({"data":{"version":"1.01"}})") << true << true;
        QTest::newRow("not found, no body") << 404 << QByteArray() << false << true;
    }

    void replies()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, expectNotice);
        QFETCH(bool, expectErrorLine);

        server.setAnswer(status, body);
        LogCapture log;
        const QStringList events = runCheck();
        QCOMPARE(events, expectNotice ? (QStringList{productPage(), notice}) : QStringList());
        QCOMPARE(log.contains(QStringLiteral("Error:")), expectErrorLine);
        QCOMPARE(QGuiApplication::quitOnLastWindowClosed(), !expectNotice);
    }

    void serverNotListening()
    {
        const quint16 port = StubHttpServer::closedPort();
        QVERIFY(port != 0);
        serverUrl = localUrl(port);

        LogCapture log;
        QVERIFY(runCheck().isEmpty());
        QStringList errors = log.lines().filter(QStringLiteral("Error:"));
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().startsWith(QStringLiteral("Error: ")), qPrintable(errors.first()));
        QVERIFY2(errors.first().contains(QStringLiteral("refused")), qPrintable(errors.first()));
    }

    void policy_data()
    {
        QTest::addColumn<QList<int>>("keys"); // AutomaticUpdate, ReminderUpdate, NotUpdate
        QTest::addColumn<UpdatePolicy>("policy");
        QTest::newRow("automatic") << QList<int>{1, 0, 0} << UpdatePolicy::Automatic;
        QTest::newRow("reminder") << QList<int>{0, 1, 0} << UpdatePolicy::Remind;
        QTest::newRow("none") << QList<int>{0, 0, 1} << UpdatePolicy::Never;
        QTest::newRow("no key set: the default") << QList<int>{0, 0, 0} << UpdatePolicy::Automatic;
        QTest::newRow("first of two wins") << QList<int>{0, 1, 1} << UpdatePolicy::Remind;
        QTest::newRow("other values are not set") << QList<int>{2, -1, 1} << UpdatePolicy::Never;
    }

    void policy()
    {
        QFETCH(QList<int>, keys);
        QFETCH(UpdatePolicy, policy);
        const SettingsMap settings{{SettingKey::AutomaticUpdate, keys.at(0)},
                                   {SettingKey::ReminderUpdate, keys.at(1)},
                                   {SettingKey::NotUpdate, keys.at(2)}};
        QCOMPARE(updatePolicy(settings), policy);
    }

    // What each choice of the settings dialog does with a newer version.
    void policies_data()
    {
        QTest::addColumn<QList<int>>("keys"); // AutomaticUpdate, ReminderUpdate, NotUpdate
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("requests");
        QTest::newRow("automatic: page, then notice")
            << QList<int>{1, 0, 0} << "" << QStringList{productPage(), notice} << 1;
        QTest::newRow("reminder, user agrees")
            << QList<int>{0, 1, 0} << "前往官网" << QStringList{reminder, productPage()} << 1;
        QTest::newRow("reminder, user declines")
            << QList<int>{0, 1, 0} << "以后再说" << QStringList{reminder} << 1;
        QTest::newRow("none: no request at all")
            << QList<int>{0, 0, 1} << "" << QStringList{"no request"} << 0;
    }

    void policies()
    {
        QFETCH(QList<int>, keys);
        QFETCH(QString, answer);
        QFETCH(QStringList, expected);
        QFETCH(int, requests);
        setPolicy(keys.at(0), keys.at(1), keys.at(2));
        server.setAnswer(200, R"({"data":{"version":"1.01"}})");
        QCOMPARE(runCheck(answer), expected);
        QCOMPARE(server.requests().size(), requests);
    }

    void placeholderHosts_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("placeholder");
        QTest::newRow("the default update host") << FERRULE_UPDATE_HOST << true;
        QTest::newRow("the default product host") << FERRULE_PRODUCT_HOST << true;
        QTest::newRow("none") << "" << true;
        QTest::newRow("upper case, trailing dot") << "WWW.Ferrule.EXAMPLE." << true;
        QTest::newRow(".invalid") << "update.invalid" << true;
        QTest::newRow("a real host") << "updates.example.org" << false;
        QTest::newRow("only looks like one") << "example.com" << false;
        QTest::newRow("a local server") << "127.0.0.1" << false;
    }

    void placeholderHosts()
    {
        QFETCH(QString, host);
        QFETCH(bool, placeholder);
        QCOMPARE(isPlaceholderHost(host), placeholder);
    }

    // A build that keeps the default hosts asks no server, and a newer version
    // announced anyway opens no page of the placeholder site.
    void defaultHostsAskNothingAndOpenNothing()
    {
        if (!isPlaceholderHost(QStringLiteral(FERRULE_UPDATE_HOST)) || productSiteSet())
            QSKIP("built with real update and product hosts");
        LogCapture log;
        QCOMPARE(startUpdateCheck(), nullptr);
        QVERIFY(log.contains(QStringLiteral("this build names no update server")));

        server.setAnswer(200, R"({"data":{"version":"1.01"}})");
        QCOMPARE(runCheck(QString(), nullptr, productPageUrl()), QStringList{notice});
        setPolicy(0, 1, 0);
        QCOMPARE(runCheck(QStringLiteral("前往官网"), nullptr, productPageUrl()),
                 QStringList{reminder});
        QVERIFY(log.contains(QStringLiteral("this build names no product site")));
        QCOMPARE(server.requests().size(), 2);
    }

    // "不自动更新" chosen while the question is on its way: the answer is ignored.
    void neverChosenBeforeTheAnswer()
    {
        setPolicy(1, 0, 0);
        server.setAnswer(200, R"({"data":{"version":"1.01"}})");
        QCOMPARE(runCheck(QString(), [] { setPolicy(0, 0, 1); }), QStringList());
        QCOMPARE(server.requests().size(), 1);
    }

private:
    // Runs one check to its end and returns what the user would have seen.
    // afterRequest runs once the request is out, before its answer is read.
    QStringList runCheck(const QString &answer = QString(),
                         const std::function<void()> &afterRequest = nullptr,
                         const QUrl &page = realPage)
    {
        NoticeWatcher watcher;
        watcher.answer = answer;
        QNetworkReply *reply = startUpdateCheck(serverUrl, page);
        if (!reply)
            return {QStringLiteral("no request")};
        if (afterRequest)
            afterRequest();
        // Connected after the handler, so it fires once the handler is done.
        QSignalSpy finished(reply, &QNetworkReply::finished);
        if (!reply->isFinished() && !finished.wait(10000))
            return {QStringLiteral("no reply")};
        return watcher.events;
    }

    // The update server's request, sent to a local server on port.
    static QUrl localUrl(quint16 port)
    {
        QUrl url = updateCheckUrl();
        url.setHost(QStringLiteral("127.0.0.1"));
        url.setPort(port);
        return url;
    }

    SettingsEnv env;
    StubHttpServer server;
    QUrl serverUrl;
};

QTEST_MAIN(TestUpdateCheck)
#include "tst_updatecheck.moc"
