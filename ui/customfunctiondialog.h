#pragma once

#include "app/customcommands.h"

#include "ui/framelessdrag.h"

#include <QDialog>

class QTableWidget;

namespace Ui {
class CustomFunctionDialog;
}

// The user's own command words, kept in ./customcommands.json. Page
// "新增命令词" collects a word and up to five web addresses, folders and files,
// checks each and saves them together; page "已定义命令词" shows the stored
// words, one at a time with its actions, and deletes them. The list is read
// from the file whenever it is shown or changed, so the dialog and the command
// interpreter never disagree. Frameless, dragged by its body, hidden on close.
class CustomFunctionDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CustomFunctionDialog(QWidget *parent = nullptr);
    ~CustomFunctionDialog() override;

protected:
    void mousePressEvent(QMouseEvent *event) override { drag.press(event); }
    void mouseMoveEvent(QMouseEvent *event) override { drag.move(event); }
    void closeEvent(QCloseEvent *event) override { drag.hideOnClose(event); }
    void showEvent(QShowEvent *event) override;

private slots:
    void on_pushButton_clicked();
    void on_pushButton_2_clicked();
    void on_toolButton_3_clicked();

private:
    void browseFolder();
    void browseFile();
    void addAction(CustomAction::Kind kind);
    void removeSelectedAction();
    void saveCommand();
    void deleteCommand();
    void showActions(QTableWidget *table, const QVector<CustomAction> &actions);
    void showStoredActions();
    // Reads the file into the word list; false when it could not be read.
    bool refreshStoredWords();
    void tell(const QString &text);
    void tellUnreadable();

    Ui::CustomFunctionDialog *ui;
    FramelessDrag drag{this};
    // The actions of the word being made on page "新增命令词", in table order.
    QVector<CustomAction> pendingActions;
    // The list as last read, behind the combo box of page "已定义命令词".
    CustomCommandList storedCommands;
};
