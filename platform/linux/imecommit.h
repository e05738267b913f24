#pragma once

#include <QString>

#include <optional>

// Text handed to the user's input method, which commits the whole string into
// the input context that has the focus: in order, in one piece, on X11 and on
// Wayland alike, and with the input method's own composing state untouched.
// One implementation per input method (fcitx5 through Ferrule's addon, IBus
// through Ferrule's engine); the Linux platform asks them in turn before it
// falls back to key presses.
class ImeCommit
{
public:
    enum class Outcome
    {
        Committed,        // the input method took the text for its focused context
        NoFocusedContext, // it runs, but no window it serves has the focus
        Refused,          // it answered, and did not take the text
        NoAnswer,         // it did not answer within its bound
    };

    virtual ~ImeCommit() = default;

    // The name the log uses: "fcitx5", "IBus".
    virtual QString name() const = 0;

    // Whether this input method runs in the session at all; cheap, asked
    // before each typing run.
    virtual bool isAvailable() = 0;

    virtual Outcome commit(const QString &text) = 0;

    // The last characters before the cursor in the input context that has
    // the focus, where this input method knows them (the client tells it its
    // surrounding text); nothing where it does not, or does not say.
    virtual std::optional<QString> textBeforeCursor() { return std::nullopt; }

protected:
    ImeCommit() = default;
    ImeCommit(const ImeCommit &) = delete;
    ImeCommit &operator=(const ImeCommit &) = delete;
};
