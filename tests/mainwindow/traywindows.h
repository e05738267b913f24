#pragma once

#include "ui/mainwindow.h"
#include "ui/systemtray.h"

#include <QAction>
#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QMenu>

// Finding the tray's pieces the way a user sees them: by their texts.
namespace TrayWindows {

inline SystemTray *trayOf(const MainWindow &window)
{
    return window.findChild<SystemTray *>();
}

inline QAction *entry(QMenu *menu, const QString &text)
{
    for (QAction *action : menu->actions()) {
        if (action->text() == text)
            return action;
        if (action->menu())
            if (QAction *inner = entry(action->menu(), text))
                return inner;
    }
    return nullptr;
}

inline QAction *entry(SystemTray *tray, const QString &text)
{
    return entry(tray->contextMenu(), text);
}

inline QList<QAction *> languageActions(SystemTray *tray)
{
    QAction *submenu = entry(tray, QStringLiteral("语言设置"));
    return submenu && submenu->menu() ? submenu->menu()->actions() : QList<QAction *>();
}

inline bool sameIcon(const QIcon &icon, const char *resource)
{
    const QImage expected = QIcon(QString::fromLatin1(resource)).pixmap(16).toImage();
    return !expected.isNull() && !icon.isNull() && icon.pixmap(16).toImage() == expected;
}

// The index of the one language carrying the select mark while the other
// four carry the empty mark; -1 when all five are empty; -2 for anything else
// (no icons yet, or several marks).
inline int markedLanguage(SystemTray *tray)
{
    const QList<QAction *> actions = languageActions(tray);
    int marked = -1;
    for (int i = 0; i < actions.size(); ++i) {
        if (sameIcon(actions[i]->icon(), ":/ico/select.ico")) {
            if (marked != -1)
                return -2;
            marked = i;
        } else if (!sameIcon(actions[i]->icon(), ":/ico/empty.ico")) {
            return -2;
        }
    }
    return marked;
}

inline int checkedLanguage(SystemTray *tray)
{
    const QList<QAction *> actions = languageActions(tray);
    for (int i = 0; i < actions.size(); ++i)
        if (actions[i]->isChecked())
            return i;
    return -1;
}

} // namespace TrayWindows
