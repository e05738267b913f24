#pragma once

#include <QPoint>

class QCloseEvent;
class QMouseEvent;
class QWidget;

// What a frameless window needs of its own: the left button held on its body
// drags it, and closing it only hides it, for a window that lives for the whole
// run. The window's event handlers hand their events to it.
class FramelessDrag
{
public:
    explicit FramelessDrag(QWidget *window) : window(window) {}

    // Events of other buttons are ignored, as QWidget's own handlers do.
    void press(QMouseEvent *event);
    void move(QMouseEvent *event);

    void hideOnClose(QCloseEvent *event);

private:
    QWidget *window;
    QPoint offset; // from the window's top left to the pointer, at the press
};
