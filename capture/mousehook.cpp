#include "capture/mousehook.h"

#include "capture/recorder.h"
#include "platform/platform.h"
#include "recognition/quilletiat.h"
#include "ui/confirmations.h"
#include "ui/promptbox.h"

#include <QDebug>

namespace {

// The installed hook; it lives until the process ends and is never removed.
SideButtons *mouseHook = nullptr;

} // namespace

LRESULT mouseHookProc(int nCode, WPARAM wParam, LPARAM lParam)
{
    Q_UNUSED(nCode)
    Q_UNUSED(lParam)
    if (wParam == WM_XBUTTONDOWN) {
        qDebug() << "Forward button down !";
        // The speech engine recognizes what it can while the button is held, in the
        // language the settings choose now; a model not loaded yet starts loading.
        QuilletIat::preloadSpeechModel();
        startRecording();
        // A release inside this second is handled at once, nested in the
        // prompt's event loop. Without the prompt the release comes through
        // the event loop as usual.
        if (confirmationsShown())
            showPrompt(QStringLiteral("请说口令！"));
    } else if (wParam == WM_XBUTTONUP) {
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
        platform().watchSideButtons([](SideButtons::Event event) {
            mouseHookProc(0, event == SideButtons::Event::Press ? WM_XBUTTONDOWN : WM_XBUTTONUP, 0);
        });
    if (!watcher) {
        qWarning() << "Mouse hook not installed, push-to-talk is off !";
        return false;
    }
    mouseHook = watcher.release();
    qDebug() << "Mouse hook installed !";
    return true;
}
