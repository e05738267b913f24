#pragma once

#include <QTimer>
#include <QWidget>

namespace Ui {
class ConvenientTool;
}

class QPushButton;

// The floating strip shown by a click on the tray icon: three work-mode
// buttons and "三" for the settings dialog. It hides as soon as the mouse
// leaves it or a button has done its work.
class ConvenientTool : public QWidget
{
    Q_OBJECT

public:
    explicit ConvenientTool(QWidget *parent = nullptr);
    ~ConvenientTool() override;

    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    void showSoftwareSettings();

private slots:
    void on_pushButton_4_clicked();

private:
    void refreshModeButtons();
    enum class Marks
    {
        ActiveOnly,
        All
    };
    void showModes(Marks marks);
    void chooseMode(int typing, int intelligence, int translation, const QString &prompt);

    Ui::ConvenientTool *ui;
    QTimer refreshTimer;
};
