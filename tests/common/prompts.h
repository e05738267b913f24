#pragma once

#include "app/promptsink.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QWidget>

#include <functional>
#include <memory>

// Most tests only want to know which prompts the logic asked for: they keep a
// PromptRecorder, which notes each text at once instead of showing it for a
// second. Tests of what the user sees install the prompt box
// (ui/promptboxsink.h) with a ScopedPromptSink and find the boxes on screen
// below; they are told by class name, so that tests which do not link the UI
// library can look too.

// The texts of the recorded prompts under way now, innermost last.
inline QStringList &recordedPromptsUnderWay()
{
    static QStringList texts;
    return texts;
}

inline bool isPromptBox(const QObject *object)
{
    return object && object->inherits("PromptBox");
}

inline QString promptText(const QWidget *box)
{
    const QLabel *label = box->findChild<QLabel *>(QStringLiteral("label"));
    return label ? label->text() : QString();
}

// Every prompt box there is, shown or not; with an owner, those it owns, oldest first.
inline QWidgetList promptBoxes(const QObject *owner = nullptr)
{
    QWidgetList boxes;
    const QWidgetList candidates =
        owner ? owner->findChildren<QWidget *>() : QApplication::topLevelWidgets();
    for (QWidget *widget : candidates)
        if (isPromptBox(widget))
            boxes << widget;
    return boxes;
}

// The texts of the prompt boxes on screen now; without an owner, those of the
// recorded prompts under way too.
inline QStringList shownPrompts(const QObject *owner = nullptr)
{
    QStringList texts;
    for (QWidget *box : promptBoxes(owner))
        if (box->isVisible())
            texts << promptText(box);
    if (!owner)
        texts << recordedPromptsUnderWay();
    return texts;
}

// Makes the prompts go to sink while alive, then to the one before again.
class ScopedPromptSink
{
public:
    explicit ScopedPromptSink(std::unique_ptr<PromptSink> sink)
        : previous(installPromptSink(std::move(sink)))
    {
    }
    ~ScopedPromptSink() { installPromptSink(std::move(previous)); }
    ScopedPromptSink(const ScopedPromptSink &) = delete;
    ScopedPromptSink &operator=(const ScopedPromptSink &) = delete;

private:
    std::unique_ptr<PromptSink> previous;
};

// Notes the text of every prompt box as it comes on screen, and can act while
// it is there: the prompt's second runs a local event loop in which anything
// may happen.
class PromptWatcher : public QObject
{
public:
    PromptWatcher() { QCoreApplication::instance()->installEventFilter(this); }
    ~PromptWatcher() override { QCoreApplication::instance()->removeEventFilter(this); }

    QStringList texts;
    std::function<void()> whileShown;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && isPromptBox(watched)) {
            texts << promptText(static_cast<QWidget *>(watched));
            if (whileShown)
                whileShown();
        }
        return false;
    }
};

// Takes the prompts while alive: notes each text and returns at once.
// whileShown runs inside the prompt, where the box would run its second's event
// loop, and shownPrompts() counts the prompt as on screen until it returns.
class PromptRecorder
{
public:
    PromptRecorder() : scope(std::make_unique<Sink>(*this)) {}

    QStringList texts;
    std::function<void()> whileShown;

private:
    class Sink : public PromptSink
    {
    public:
        explicit Sink(PromptRecorder &recorder) : recorder(recorder) {}
        void prompt(const QString &text) override
        {
            recorder.texts << text;
            recordedPromptsUnderWay() << text;
            // A copy: the action may set another one for the next prompt.
            if (const std::function<void()> act = recorder.whileShown)
                act();
            recordedPromptsUnderWay().removeLast();
        }

    private:
        PromptRecorder &recorder;
    };

    ScopedPromptSink scope;
};
