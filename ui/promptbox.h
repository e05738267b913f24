#pragma once

#include <QWidget>

namespace Ui {
class PromptBox;
}

// A one-line dark-green strip at the bottom right of the desktop. showPrompt
// shows it for one second in a local event loop and hides it again. It never
// takes the keyboard focus: typed text must keep going to the user's window.
class PromptBox : public QWidget
{
    Q_OBJECT

public:
    explicit PromptBox(QWidget *parent = nullptr);
    ~PromptBox() override;

    void showPrompt(const QString &text);

private:
    Ui::PromptBox *ui;
};
