#include "capture/mousehook.h"

#include "app/confirmations.h"
#include "app/promptsink.h"
#include "app/settingkeys.h"
#include "app/settings.h"
#include "capture/recorder.h"
#include "capture/sidebuttontaps.h"
#include "platform/platform.h"
#include "recognition/quilletiat.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

namespace {

// The installed hook; it lives until the process ends and is never removed.
SideButtons *mouseHook = nullptr;

SideButtonTaps taps;
// The press waiting to learn whether it is a tap, ended early by its release.
QPointer<QEventLoop> tapWait;

const SideButtons::Click *clickOf(LPARAM lParam)
{
    return reinterpret_cast<const SideButtons::Click *>(lParam);
}

// A press the window did not see may turn out a tap within tapMs: only then
// is it known whether "请说口令！" belongs to it. True when it was a tap.
bool waitForTap(int button)
{
    QEventLoop loop;
    tapWait = &loop;
    QTimer::singleShot(SideButtonTaps::tapMs, &loop, &QEventLoop::quit);
    if (!taps.tapped(button))
        loop.exec();
    return taps.tapped(button);
}

// The tap's release: the click is the window's, and so is its moment.
void releaseTap(const SideButtonTaps::Release &release)
{
    qDebug() << "Forward button up !";
    if (release.dropRecording)
        discardRecording();
    qDebug() << "side button tapped: the click goes to the window, nothing recognized !";
    if (tapWait)
        tapWait->quit();
}

void followExclusiveSetting()
{
    if (mouseHook)
        mouseHook->setExclusive(settingOrDefault(SettingKey::ExclusiveSideButtons) == 1);
}

} // namespace

LRESULT mouseHookProc(int nCode, WPARAM wParam, LPARAM lParam)
{
    Q_UNUSED(nCode)
    const SideButtons::Click *click = clickOf(lParam);
    if (wParam == WM_XBUTTONDOWN) {
        qDebug() << "Forward button down !";
        // The speech engine recognizes what it can while the button is held, in the
        // language the settings choose now; a model not loaded yet starts loading.
        QuilletIat::preloadSpeechModel();
        const bool started = startRecording();
        if (click) {
            taps.press(click->button, click->timeMs, click->heldBack, started);
            if (click->heldBack && waitForTap(click->button))
                return 0;
        }
        // A release inside this second is handled at once, nested in the
        // prompt's event loop. Without the prompt the release comes through
        // the event loop as usual.
        if (confirmationsShown())
            showPrompt(QStringLiteral("请说口令！"));
    } else if (wParam == WM_XBUTTONUP) {
        if (click) {
            const SideButtonTaps::Release release =
                taps.release(click->button, click->timeMs, click->heldBack);
            if (release.tap) {
                releaseTap(release);
                return 1;
            }
        }
        qDebug() << "Forward button up !";
        // Only the audio of the recording this release has just ended is
        // recognized: a release without a press (another program's, the second
        // of two buttons) or a failed capture must not type an old utterance again.
        switch (stopRecording()) {
        case RecordingResult::Saved: {
            QuilletIat recognizer(nullptr);
            break;
        }
        case RecordingResult::Failed: {
            qDebug() << "recording failed, nothing recognized !";
            showPrompt(QStringLiteral("麦克风录音失败"));
            break;
        }
        case RecordingResult::NoAudio:
            qDebug() << "recording has no audio, nothing recognized !";
            break;
        case RecordingResult::NoRecording:
            qDebug() << "no recording to recognize !";
            break;
        }
    }
    return 0;
}

bool installMouseHook()
{
    if (mouseHook)
        return true;
    std::unique_ptr<SideButtons> watcher =
        platform().watchSideButtons([](const SideButtons::Click &click) {
            switch (click.event) {
            case SideButtons::Event::NoAccess:
                showPrompt(QStringLiteral("无权读取鼠标侧键，请见README"));
                return false;
            case SideButtons::Event::Press:
                mouseHookProc(0, WM_XBUTTONDOWN, reinterpret_cast<LPARAM>(&click));
                return false;
            case SideButtons::Event::Release:
                return mouseHookProc(0, WM_XBUTTONUP, reinterpret_cast<LPARAM>(&click)) != 0;
            }
            return false;
        });
    if (!watcher) {
        qWarning() << "Mouse hook not installed, push-to-talk is off !";
        return false;
    }
    mouseHook = watcher.release();
    qDebug() << "Mouse hook installed !";
    // The setting is looked at as often as the settings window refreshes.
    followExclusiveSetting();
    auto *poll = new QTimer(QCoreApplication::instance());
    QObject::connect(poll, &QTimer::timeout, &followExclusiveSetting);
    poll->start(1000);
    return true;
}
