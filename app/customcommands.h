#pragma once

#include "app/datafiles.h"

#include <QString>
#include <QVector>

#include <optional>

// One thing a custom command word does when it is spoken.
struct CustomAction
{
    enum class Kind
    {
        WebAddress,
        Folder,
        File
    };
    Kind kind;
    QString target; // the address, or the absolute path of the folder or file

    bool operator==(const CustomAction &other) const
    {
        return kind == other.kind && target == other.target;
    }
};

// A command word of the user's own and its actions, run in this order.
struct CustomCommand
{
    QString word;
    QVector<CustomAction> actions;

    bool operator==(const CustomCommand &other) const
    {
        return word == other.word && actions == other.actions;
    }
};

using CustomCommandList = QVector<CustomCommand>;

// The user's command words live in customcommands.json beside config.txt:
//   {"commands": [{"word": "打开项目",
//                  "actions": [{"type": "folder", "target": "/home/me/project"},
//                              {"type": "url", "target": "https://example.org/"}]}]}
// A list in a readable format (the user may mend it by hand) that Qt reads
// without another library.
namespace customcommands {

// At most this many actions per word: the rows of the dialog's table.
constexpr int maxActions = 5;

// A list of a few hundred words with five long paths each stays far below
// this; a file larger than this is not read (it would only cost memory and time).
constexpr qint64 maxFileBytes = 4 * 1024 * 1024;

// The list in the file's format, and back. A document that is not exactly of
// that shape (a word without text or actions, an unknown type, more than
// maxActions actions) gives nothing: half a list would hide the damage.
QByteArray serialise(const CustomCommandList &commands);
std::optional<CustomCommandList> parse(const QByteArray &json);

// The stored list; a missing file is an empty list. A file that cannot be
// read or parsed, or that is no regular file or larger than maxFileBytes,
// gives nothing and a log line, and is left as it is.
std::optional<CustomCommandList> load(const QString &path = DataFiles::customCommands);

// Replaces the file with the whole list, written beside it and renamed over
// it, so a crash or a full disk never leaves half a list. False (and a log
// line) when the file could not be replaced.
bool save(const CustomCommandList &commands, const QString &path = DataFiles::customCommands);

// The address as it is stored and opened: what the user typed, with http://
// added when no scheme is given ("www.example.com"). Null when it is no web
// address: blanks in it, another scheme than http or https, no host, or a
// host without a dot that is not localhost or an IP address.
QString webAddress(const QString &typed);

// Whether action is what the dialog would have stored, and may be opened: a
// web address as webAddress gives it, an existing folder or file by its full path.
bool isOpenable(const CustomAction &action);

// Whether word is one the dialog would store: more than blanks. A word of
// blanks (a hand-edited file) would be found in every sentence with a blank.
bool isSpeakable(const QString &word);

// The type names of the file and the dialog's names of them.
QString typeName(CustomAction::Kind kind);
QString displayName(CustomAction::Kind kind);

} // namespace customcommands
