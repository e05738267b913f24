#include "ui/promptbox.h"
#include "ui_promptbox.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

PromptBox::PromptBox(QWidget *parent) : QWidget(parent), ui(new Ui::PromptBox)
{
    ui->setupUi(this);
    setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
    setAttribute(Qt::WA_ShowWithoutActivating);
}

PromptBox::~PromptBox()
{
    delete ui;
}

void PromptBox::showPrompt(const QString &text)
{
    ui->label->setText(text);
    // The whole desktop, all screens together.
    const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
    setGeometry(desktop.width() - 200, desktop.height() - 75, 200, 35);
    show();

    QEventLoop loop;
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    loop.exec();

    hide();
}
