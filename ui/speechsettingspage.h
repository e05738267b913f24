#pragma once

#include "recognition/servicecheck.h"
#include "recognition/speechconfig.h"
#include "ui/speechsettingsfields.h"

#include <QMap>
#include <QString>
#include <QVector>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>

namespace Ui {
class SpeechSettingsPage;
}

class QLabel;
class QPushButton;
class QThread;

// "语音服务": speech.ini edited through widgets. The recognition engine (on this
// computer with a pocketsphinx model per language, or an online transcription
// service), the translation service, and a "测试" for each that tries what the page
// shows before it is saved. "保存" writes the values that changed into the file as
// it is on disk at that moment, every other line as it stands. A speech.ini that
// cannot be read is left alone: the page says why and edits nothing.
class SpeechSettingsPage : public QWidget
{
    Q_OBJECT

public:
    // dir: the folder of speech.ini, the working folder of the SDK.
    explicit SpeechSettingsPage(QWidget *parent = nullptr,
                                const QString &dir = QStringLiteral("."));
    ~SpeechSettingsPage() override;

    // Reads speech.ini again; what was typed and not saved is dropped.
    void reload();
    bool hasUnsavedChanges() const;

    struct Preset
    {
        QString name; // as the list shows it
        QString url;
        QString model;
    };
    // The ready entries of "常用服务": each fills address and model.
    static const QVector<Preset> &presets();

protected:
    void showEvent(QShowEvent *event) override;

private slots:
    void on_engineEmbeddedRadio_toggled(bool checked);
    void on_servicePresetComboBox_activated(int index);
    void on_modelLanguageComboBox_currentIndexChanged(int index);
    void on_modelFolderButton_clicked();
    void on_acousticModelButton_clicked();
    void on_languageModelButton_clicked();
    void on_dictionaryButton_clicked();
    void on_speechTestButton_clicked();
    void on_translationTestButton_clicked();
    void on_saveButton_clicked();

private:
    using Fields = SpeechSettingsFields;
    Fields fieldsShown() const;
    void showFields(const Fields &fields);
    void showModel(const QString &language);
    // The model parts of the language the widgets show, as typed there.
    SpeechModelPaths shownModelPaths() const;
    void keepShownModel();
    QString shownLanguage() const;

    // The file's text with what changed since it was read; empty with *problem
    // (Chinese, for the page) when the fields cannot be saved.
    QString editedText(const QString &fileText, QString *problem) const;
    // The configuration the page shows, as it would be saved; false with *problem when it cannot
    // be.
    bool shownConfig(SpeechConfig *config, QString *problem) const;
    void setLocked(const QString &why);
    // Runs check in a thread of its own, the button off meanwhile, and shows in label
    // the text it gives, or which failure it was with the log line.
    void runCheck(QPushButton *button, QLabel *label, std::function<ServiceCheck::Outcome()> check,
                  std::function<QString(const QString &)> describeText);

    Ui::SpeechSettingsPage *ui;
    QString m_dir;
    bool m_readable = false;
    Fields m_loaded;
    QString m_loadedLanguage; // the language whose model the widgets show
    QMap<QString, SpeechModelPaths> m_models;
    QMap<QString, QString> m_folders;
    std::shared_ptr<std::atomic_bool> m_cancelled;
    QVector<QThread *> m_checks;
};
