#include "ui/speechsettingspage.h"
#include "ui_speechsettingspage.h"

#include "recognition/modelfolder.h"
#include "recognition/quilletiat.h"
#include "recognition/speechinifile.h"

#include <QDebug>
#include <QFileDialog>
#include <QFileInfo>
#include <QThread>

const QVector<SpeechSettingsPage::Preset> &SpeechSettingsPage::presets()
{
    static const QVector<Preset> list = {
        {QStringLiteral("whisper.cpp 服务（本机）"),
         QStringLiteral("http://127.0.0.1:8080/v1/audio/transcriptions"),
         QStringLiteral("whisper-1")},
        {QStringLiteral("OpenAI 兼容服务（本机）"), QStringLiteral("http://127.0.0.1:8000/v1"),
         QStringLiteral("Systran/faster-whisper-small")},
        {QStringLiteral("OpenAI"), QStringLiteral("https://api.openai.com/v1"),
         QStringLiteral("whisper-1")},
        {QStringLiteral("Groq"), QStringLiteral("https://api.groq.com/openai/v1"),
         QStringLiteral("whisper-large-v3")},
        {QStringLiteral("硅基流动 SiliconFlow"), QStringLiteral("https://api.siliconflow.cn/v1"),
         QStringLiteral("FunAudioLLM/SenseVoiceSmall")},
    };
    return list;
}

SpeechSettingsPage::SpeechSettingsPage(QWidget *parent, const QString &dir)
    : QWidget(parent), ui(new Ui::SpeechSettingsPage), m_dir(dir),
      m_cancelled(std::make_shared<std::atomic_bool>(false))
{
    ui->setupUi(this);
    // Opaque: the page lies over the other controls of the settings window.
    setAttribute(Qt::WA_StyledBackground);
    ui->servicePresetComboBox->addItem(QStringLiteral("选择后填入地址和模型…"));
    for (const Preset &preset : presets())
        ui->servicePresetComboBox->addItem(preset.name);
    for (int i = 0; i < 3; ++i) {
        ui->modelLanguageComboBox->setItemData(i, QLatin1String(speechModelLanguages[i]));
        ui->testLanguageComboBox->setItemData(i, QLatin1String(speechModelLanguages[i]));
    }
    reload();
}

SpeechSettingsPage::~SpeechSettingsPage()
{
    // A check still running holds no pointer into the page, but its thread must end first.
    *m_cancelled = true;
    for (QThread *thread : qAsConst(m_checks))
        thread->wait();
    qDeleteAll(m_checks);
    delete ui;
}

void SpeechSettingsPage::showEvent(QShowEvent *event)
{
    // A file edited by hand meanwhile shows as it is now, unless the page holds edits.
    if (!m_readable || !hasUnsavedChanges())
        reload();
    QWidget::showEvent(event);
}

void SpeechSettingsPage::reload()
{
    const SpeechIniFile::Contents contents = SpeechIniFile::read(m_dir);
    m_readable = contents.ok;
    if (!contents.ok) {
        qWarning().noquote() << QStringLiteral("speech settings: %1; the page leaves the file "
                                               "alone")
                                    .arg(contents.error);
        setLocked(contents.error);
        return;
    }
    ui->speechTabs->setEnabled(true);
    ui->saveButton->setEnabled(true);
    m_loaded = Fields::of(contents.config);
    m_models = m_loaded.models;
    m_folders.clear();
    m_loadedLanguage.clear();
    showFields(m_loaded);
    ui->speechIniStatusLabel->setText(QFileInfo::exists(SpeechIniFile::path(m_dir))
                                          ? QString()
                                          : QStringLiteral("还没有 speech.ini：保存时新建。"));
}

void SpeechSettingsPage::setLocked(const QString &why)
{
    ui->speechTabs->setEnabled(false);
    ui->saveButton->setEnabled(false);
    ui->speechIniStatusLabel->setText(
        QStringLiteral("speech.ini 无法读取，此页不作修改，以免覆盖文件：%1").arg(why));
}

void SpeechSettingsPage::showFields(const Fields &f)
{
    ui->engineRemoteRadio->setChecked(f.remote);
    ui->engineEmbeddedRadio->setChecked(!f.remote);
    ui->engineStack->setCurrentWidget(f.remote ? ui->remotePage : ui->embeddedPage);
    ui->remoteUrlEdit->setText(f.url);
    ui->remoteModelEdit->setText(f.model);
    ui->remoteApiKeyEdit->setText(f.apiKey);
    ui->remoteConnectTimeoutSpinBox->setValue(f.connectS);
    ui->remoteReplyTimeoutSpinBox->setValue(f.replyS);
    showModel(shownLanguage());
    ui->translationUrlEdit->setText(f.translationUrl);
    ui->translationModelEdit->setText(f.translationModel);
    ui->translationApiKeyEdit->setText(f.translationApiKey);
    ui->translationConnectTimeoutSpinBox->setValue(f.translationConnectS);
    ui->translationReplyTimeoutSpinBox->setValue(f.translationReplyS);
    ui->servicePresetComboBox->setCurrentIndex(0);
}

QString SpeechSettingsPage::shownLanguage() const
{
    return ui->modelLanguageComboBox->currentData().toString();
}

void SpeechSettingsPage::showModel(const QString &language)
{
    const SpeechModelPaths paths = m_models.value(language);
    ui->modelFolderEdit->setText(m_folders.value(language));
    ui->acousticModelEdit->setText(paths.acousticModel);
    ui->languageModelEdit->setText(paths.languageModel);
    ui->dictionaryEdit->setText(paths.dictionary);
    m_loadedLanguage = language;
}

SpeechModelPaths SpeechSettingsPage::shownModelPaths() const
{
    return {ui->acousticModelEdit->text().trimmed(), ui->languageModelEdit->text().trimmed(),
            ui->dictionaryEdit->text().trimmed()};
}

void SpeechSettingsPage::keepShownModel()
{
    if (m_loadedLanguage.isEmpty())
        return;
    m_models[m_loadedLanguage] = shownModelPaths();
    m_folders[m_loadedLanguage] = ui->modelFolderEdit->text();
}

SpeechSettingsPage::Fields SpeechSettingsPage::fieldsShown() const
{
    Fields f;
    f.remote = ui->engineRemoteRadio->isChecked();
    f.url = ui->remoteUrlEdit->text().trimmed();
    f.model = ui->remoteModelEdit->text().trimmed();
    f.apiKey = ui->remoteApiKeyEdit->text().trimmed();
    f.connectS = ui->remoteConnectTimeoutSpinBox->value();
    f.replyS = ui->remoteReplyTimeoutSpinBox->value();
    f.models = m_models;
    f.models[m_loadedLanguage] = shownModelPaths();
    f.translationUrl = ui->translationUrlEdit->text().trimmed();
    f.translationModel = ui->translationModelEdit->text().trimmed();
    f.translationApiKey = ui->translationApiKeyEdit->text().trimmed();
    f.translationConnectS = ui->translationConnectTimeoutSpinBox->value();
    f.translationReplyS = ui->translationReplyTimeoutSpinBox->value();
    return f;
}

bool SpeechSettingsPage::hasUnsavedChanges() const
{
    return m_readable && !(fieldsShown() == m_loaded);
}

QString SpeechSettingsPage::editedText(const QString &fileText, QString *problem) const
{
    const Fields now = fieldsShown();
    *problem = now.problem();
    if (!problem->isEmpty())
        return QString();
    return now.editedText(fileText, m_loaded);
}

bool SpeechSettingsPage::shownConfig(SpeechConfig *config, QString *problem) const
{
    const SpeechIniFile::Contents contents = SpeechIniFile::read(m_dir);
    if (!contents.ok) {
        *problem = QStringLiteral("speech.ini 无法读取：%1").arg(contents.error);
        return false;
    }
    const QString text = editedText(contents.text, problem);
    if (!problem->isEmpty())
        return false;
    QString error;
    if (!SpeechConfig::parse(text, m_dir, config, &error)) {
        *problem = QStringLiteral("设置有误：%1").arg(error);
        return false;
    }
    config->path = SpeechIniFile::path(m_dir);
    return true;
}

void SpeechSettingsPage::on_saveButton_clicked()
{
    if (!hasUnsavedChanges()) {
        ui->speechIniStatusLabel->setText(QStringLiteral("没有需要保存的修改。"));
        return;
    }
    // The file as it is now: lines edited by hand since the page read it stay.
    const SpeechIniFile::Contents contents = SpeechIniFile::read(m_dir);
    if (!contents.ok) {
        m_readable = false;
        qWarning().noquote()
            << QStringLiteral("speech settings: %1; not saved").arg(contents.error);
        setLocked(contents.error);
        return;
    }
    QString problem;
    const QString text = editedText(contents.text, &problem);
    SpeechConfig config;
    QString error;
    if (!problem.isEmpty() || !SpeechConfig::parse(text, m_dir, &config, &error)) {
        ui->speechIniStatusLabel->setText(
            QStringLiteral("未保存：%1").arg(problem.isEmpty() ? error : problem));
        return;
    }
    const bool holdsKey = !config.apiKey.isEmpty() || !config.translation.apiKey.isEmpty();
    if (!SpeechIniFile::write(m_dir, text, holdsKey, &error)) {
        qWarning().noquote() << QStringLiteral("speech settings: %1").arg(error);
        ui->speechIniStatusLabel->setText(QStringLiteral("未保存：%1").arg(error));
        return;
    }
    qDebug().noquote()
        << QStringLiteral("speech settings: saved %1").arg(SpeechIniFile::path(m_dir));
    reload();
    // The next utterance reads the file anew; a model it now names loads meanwhile.
    QuilletIat::preloadSpeechModel();
    ui->speechIniStatusLabel->setText(
        QStringLiteral("已保存到 %1").arg(SpeechIniFile::path(m_dir)));
}

void SpeechSettingsPage::on_engineEmbeddedRadio_toggled(bool checked)
{
    ui->engineStack->setCurrentWidget(checked ? ui->embeddedPage : ui->remotePage);
}

void SpeechSettingsPage::on_servicePresetComboBox_activated(int index)
{
    if (index < 1 || index > presets().size())
        return;
    const Preset &preset = presets().at(index - 1);
    ui->remoteUrlEdit->setText(preset.url);
    ui->remoteModelEdit->setText(preset.model);
}

void SpeechSettingsPage::on_modelLanguageComboBox_currentIndexChanged(int index)
{
    keepShownModel();
    showModel(shownLanguage());
    ui->testLanguageComboBox->setCurrentIndex(index);
}

void SpeechSettingsPage::on_modelFolderButton_clicked()
{
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("选择语音模型文件夹"), ui->modelFolderEdit->text());
    if (folder.isEmpty())
        return;
    ui->modelFolderEdit->setText(folder);
    // The parts the names tell; the others are kept for the user to pick.
    const SpeechModelPaths found = findModelParts(folder);
    if (!found.acousticModel.isEmpty())
        ui->acousticModelEdit->setText(found.acousticModel);
    if (!found.languageModel.isEmpty())
        ui->languageModelEdit->setText(found.languageModel);
    if (!found.dictionary.isEmpty())
        ui->dictionaryEdit->setText(found.dictionary);
    QStringList missing;
    if (found.acousticModel.isEmpty())
        missing << QStringLiteral("声学模型");
    if (found.languageModel.isEmpty())
        missing << QStringLiteral("语言模型");
    if (found.dictionary.isEmpty())
        missing << QStringLiteral("词典");
    ui->speechIniStatusLabel->setText(
        missing.isEmpty()
            ? QStringLiteral("已在文件夹中找到模型的三个部分。")
            : QStringLiteral("请逐个选择：%1").arg(missing.join(QStringLiteral("、"))));
}

namespace {
QString startFolder(const QString &path, const QString &folder)
{
    return path.isEmpty() ? folder : QFileInfo(path).absolutePath();
}

// A file for edit, picked where its present one lies or else in the model's folder.
void pickFile(QWidget *parent, QLineEdit *edit, const QString &folder, const QString &title,
              const QString &filter)
{
    const QString file =
        QFileDialog::getOpenFileName(parent, title, startFolder(edit->text(), folder), filter);
    if (!file.isEmpty())
        edit->setText(file);
}
} // namespace

void SpeechSettingsPage::on_acousticModelButton_clicked()
{
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("选择声学模型文件夹"),
        startFolder(ui->acousticModelEdit->text(), ui->modelFolderEdit->text()));
    if (!folder.isEmpty())
        ui->acousticModelEdit->setText(folder);
}

void SpeechSettingsPage::on_languageModelButton_clicked()
{
    pickFile(this, ui->languageModelEdit, ui->modelFolderEdit->text(),
             QStringLiteral("选择语言模型"),
             QStringLiteral("语言模型 (*.lm.bin *.lm *.dmp *.DMP *.arpa);;所有文件 (*)"));
}

void SpeechSettingsPage::on_dictionaryButton_clicked()
{
    pickFile(this, ui->dictionaryEdit, ui->modelFolderEdit->text(), QStringLiteral("选择词典"),
             QStringLiteral("词典 (*.dict *.dic);;所有文件 (*)"));
}

void SpeechSettingsPage::runCheck(QPushButton *button, QLabel *label,
                                  std::function<ServiceCheck::Outcome()> check,
                                  std::function<QString(const QString &)> describeText)
{
    button->setEnabled(false);
    label->setText(QStringLiteral("正在测试…"));
    auto outcome = std::make_shared<ServiceCheck::Outcome>();
    QThread *thread = QThread::create([check, outcome] { *outcome = check(); });
    m_checks.append(thread);
    connect(thread, &QThread::finished, this, [this, thread, button, label, outcome, describeText] {
        m_checks.removeOne(thread);
        thread->deleteLater();
        button->setEnabled(true);
        if (outcome->ok)
            label->setText(describeText(outcome->text));
        else
            label->setText(QStringLiteral("%1\n日志：%2").arg(outcome->problem, outcome->logLine));
    });
    thread->start();
}

void SpeechSettingsPage::on_speechTestButton_clicked()
{
    SpeechConfig config;
    QString problem;
    if (!shownConfig(&config, &problem)) {
        ui->speechTestResultLabel->setText(problem);
        return;
    }
    const QString language = ui->testLanguageComboBox->currentData().toString();
    const QString dir = m_dir;
    const std::shared_ptr<std::atomic_bool> cancelled = m_cancelled;
    runCheck(
        ui->speechTestButton, ui->speechTestResultLabel,
        [config, language, dir, cancelled] {
            return ServiceCheck::speech(config, language, dir, *cancelled);
        },
        [language](const QString &text) {
            // The words said, so a model that hears them poorly shows as such.
            const QString said =
                QStringLiteral("（录音里说的是：%1）").arg(ServiceCheck::recordingWords(language));
            return text.isEmpty()
                       ? QStringLiteral("语音服务可用，但这段录音没有识别出文字。") + said
                       : QStringLiteral("识别结果：%1\n").arg(text) + said;
        });
}

void SpeechSettingsPage::on_translationTestButton_clicked()
{
    SpeechConfig config;
    QString problem;
    if (!shownConfig(&config, &problem)) {
        ui->translationTestResultLabel->setText(problem);
        return;
    }
    if (config.translation.url.isEmpty()) {
        ui->translationTestResultLabel->setText(QStringLiteral("请先填写翻译服务的地址"));
        return;
    }
    const TranslationSettings settings = config.translation;
    const QString path = config.path;
    runCheck(
        ui->translationTestButton, ui->translationTestResultLabel,
        [settings, path] { return ServiceCheck::translation(settings, path); },
        [](const QString &text) {
            return QStringLiteral("“%1”译为：%2").arg(ServiceCheck::translationSample(), text);
        });
}
