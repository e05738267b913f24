#include "ui/framelessdrag.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QWidget>

void FramelessDrag::press(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    offset = event->globalPos() - window->frameGeometry().topLeft();
    event->accept();
}

void FramelessDrag::move(QMouseEvent *event)
{
    // Only the left button alone drags, as it is the one that stored the offset.
    if (event->buttons() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    window->move(event->globalPos() - offset);
    event->accept();
}

void FramelessDrag::hideOnClose(QCloseEvent *event)
{
    event->ignore();
    window->hide();
}
