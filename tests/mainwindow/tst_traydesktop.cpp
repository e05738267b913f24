// The tray icon on a real X display with a tray host (trayer), and Chinese
// text drawn with a real CJK font.
#include "app/fonts.h"
#include "app/settingkeys.h"
#include "common/settingsenv.h"
#include "traywindows.h"
#include "ui/convenienttool.h"
#include "ui/customfunctiondialog.h"
#include "ui/promptmessagedialog.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QtTest>

using namespace TrayWindows;

namespace {

struct Colours
{
    int teal = 0;
    int grey = 0;
};

// Counts the pixels of the two icon bodies: rgb(61, 102, 98) when the mouse
// is connected, rgb(150, 150, 150) when it is not.
Colours iconColours(const QRect &area)
{
    const QImage shot = QGuiApplication::primaryScreen()
                            ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                            .toImage();
    auto near = [](QRgb pixel, int r, int g, int b) {
        return qAbs(qRed(pixel) - r) + qAbs(qGreen(pixel) - g) + qAbs(qBlue(pixel) - b) < 30;
    };
    Colours found;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb pixel = shot.pixel(x, y);
            found.teal += near(pixel, 61, 102, 98);
            found.grey += near(pixel, 150, 150, 150);
        }
    return found;
}

// Moves the pointer onto the icon and clicks there with xdotool (another X client).
bool clickIcon(const QRect &icon, const QStringList &clickArguments)
{
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"),
                  // --sync waits for a movement, so start from a corner away from the icon.
                  QStringList{QStringLiteral("mousemove"), QStringLiteral("--sync"),
                              QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("mousemove"),
                              QStringLiteral("--sync"), QString::number(icon.center().x()),
                              QString::number(icon.center().y()), QStringLiteral("click")} +
                      clickArguments);
    return xdotool.waitForFinished(10000) && xdotool.exitStatus() == QProcess::NormalExit &&
           xdotool.exitCode() == 0;
}

QImage render(const QString &text, const QFont &font)
{
    QImage image(QSize(40 * qMax(1, text.size()), 48), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(image.rect(), Qt::AlignLeft | Qt::AlignVCenter, text);
    return image;
}

// Texts of the tray and its windows, in the form's font.
const char *const interfaceTexts[] = {
    "塔沃智能鼠标", "打开主窗口",   "关于我们",       "软件更新",       "意见反馈",
    "购买产品",     "软件设置",     "个人中心",       "语言设置",       "退出",
    "自定义功能",   "用户登录",     "中文(普通话)",   "英文",           "粤语",
    "四川话",       "河南话",       "用户自定义设置", "新增命令词",     "已定义命令词",
    "确定保存",     "浏览文件夹",   "密   码：",      "塔沃鼠标已连接", "鼠标或声卡驱动异常",
    "未登录",       "构建离线语法", "使用说明",       "你选择：河南话"};

} // namespace

class TestTrayDesktop : public QObject
{
    Q_OBJECT

    SettingsEnv env;

private slots:
    void initTestCase()
    {
        QVERIFY(env.enter());
        QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"), "needs an X display");
        installFontSubstitutions();
        SettingsEnv::set({{SettingKey::MonitorTalvoxMouseConnect, 0},
                          {SettingKey::TypingModel, 0},
                          {SettingKey::IntelligenceModel, 1},
                          {SettingKey::TranslationModel, 0}});
    }

    void trayIconFollowsDeviceAndClickShowsStrip();
    void chineseIsDrawnWithCjkFont();
};

void TestTrayDesktop::trayIconFollowsDeviceAndClickShowsStrip()
{
    QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);
    MainWindow window;
    SystemTray *tray = trayOf(window);
    // The icon's place is known once the host has embedded it in its panel.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QTRY_VERIFY_WITH_TIMEOUT(tray->geometry().width() > 0 &&
                                 tray->geometry().topLeft() != QPoint(0, 0) &&
                                 screen.contains(tray->geometry()),
                             10000);
    const QRect icon = tray->geometry();

    // Disconnected: the grey mouse is on the panel.
    QTRY_VERIFY_WITH_TIMEOUT(iconColours(icon).grey > 20, 5000);
    QCOMPARE(iconColours(icon).teal, 0);

    // Connected: the coloured mouse within one refresh (1.1 s), allowing for the repaint.
    SettingsEnv::set({{SettingKey::MonitorTalvoxMouseConnect, 1}});
    QElapsedTimer clock;
    clock.start();
    QTRY_VERIFY_WITH_TIMEOUT(iconColours(icon).teal > 20, 1400);
    qDebug() << "coloured icon after" << clock.elapsed() << "ms";
    QCOMPARE(iconColours(icon).grey, 0);

    // A real click on the icon shows the floating strip at the bottom right.
    QVERIFY(clickIcon(icon, {QStringLiteral("1")}));
    QTRY_VERIFY_WITH_TIMEOUT(window.findChild<ConvenientTool *>(), 5000);
    auto *tool = window.findChild<ConvenientTool *>();
    QTRY_VERIFY(tool->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(tool));
    const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
    QCOMPARE(tool->geometry(), QRect(desktop.width() - 310, desktop.height() - 65, 200, 25));
    QCOMPARE(tool->mapToGlobal(QPoint(0, 0)), QPoint(desktop.width() - 310, desktop.height() - 65));
    QVERIFY(window.isHidden());

    // A double click opens the function introduction as well, placed once.
    QVERIFY(
        clickIcon(icon, {QStringLiteral("--repeat"), QStringLiteral("2"), QStringLiteral("--delay"),
                         QStringLiteral("80"), QStringLiteral("1")}));
    QTRY_VERIFY_WITH_TIMEOUT(window.findChild<PromptMessageDialog *>(), 5000);
    auto *intro = window.findChild<PromptMessageDialog *>();
    QTRY_VERIFY(intro->isVisible());
    QCOMPARE(intro->geometry(), QRect(desktop.width() - 200, desktop.height() - 615, 200, 540));
    intro->hide();
    tool->hide();

    // A right click opens the menu.
    QVERIFY(clickIcon(icon, {QStringLiteral("3")}));
    QTRY_VERIFY_WITH_TIMEOUT(tray->contextMenu()->isVisible(), 5000);
    tray->contextMenu()->hide();
    SettingsEnv::set({{SettingKey::MonitorTalvoxMouseConnect, 0}});
}

void TestTrayDesktop::chineseIsDrawnWithCjkFont()
{
    const QFont font(QStringLiteral("微软雅黑"), 12);
    const QString family = QFontInfo(font).family();
    QVERIFY2(family.contains(QLatin1String("WenQuanYi")) ||
                 family.contains(QLatin1String("Noto Sans CJK")),
             qPrintable(family));
    const QFontMetrics metrics(font);
    for (const char *text : interfaceTexts)
        for (const QChar c : QString::fromUtf8(text))
            QVERIFY2(c.isSpace() || metrics.inFont(c),
                     qPrintable(QString::fromUtf8(text) + QLatin1Char(' ') + c));

    // A missing glyph is drawn as the same box whatever the character; real
    // glyphs differ from it and from each other.
    const QImage box = render(QString(QChar(0xE000)), font);
    QSet<qint64> seen;
    for (const QChar c : QStringLiteral("塔沃智能鼠标用户登录")) {
        const QImage glyph = render(QString(c), font);
        QVERIFY2(glyph != box, qPrintable(QString(c)));
        seen.insert(glyph.cacheKey()
                        ? qHash(QByteArray(reinterpret_cast<const char *>(glyph.constBits()),
                                           int(glyph.sizeInBytes())))
                        : 0);
    }
    QCOMPARE(seen.size(), 10);

    // The forms get the family through their style sheets.
    CustomFunctionDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *title = dialog.findChild<QLabel *>(QStringLiteral("label_8"));
    QCOMPARE(QFontInfo(title->font()).family(), family);
    QCOMPARE(title->font().pointSize(), 12);
    const QImage shown = title->grab().toImage();
    QLabel tofu;
    tofu.setStyleSheet(title->styleSheet());
    tofu.setFont(title->font());
    tofu.setText(QStringLiteral("  ") + QString(7, QChar(0xE000)));
    tofu.resize(title->size());
    QVERIFY(shown != tofu.grab().toImage());
}

QTEST_MAIN(TestTrayDesktop)
#include "tst_traydesktop.moc"
