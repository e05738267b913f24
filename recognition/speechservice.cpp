#include "recognition/speechservice.h"

#include "recognition/speechenginefactory.h"
#include "recognition/speecherror.h"

#include <QDebug>
#include <QDir>

int SpeechService::notLoggedIn()
{
    return SpeechError::NotLoggedIn;
}

int SpeechService::login(const std::shared_ptr<SpeechEngine> &testingEngine, const QByteArray &user,
                         const QByteArray &password, const QByteArray &params)
{
    m_active.reset();
    m_loginError = 0;
    if (testingEngine) {
        m_active = testingEngine;
        m_loginError = m_active->login(user, password, params);
        return m_loginError;
    }

    QString workDir = speechParamValue(params, QStringLiteral("work_dir"));
    if (workDir.isEmpty())
        workDir = QStringLiteral(".");
    SpeechConfig config;
    QString error;
    if (!SpeechConfig::load(workDir, &config, &error)) {
        qWarning().noquote() << QStringLiteral("speech: bad settings, speech recognition is off until "
                                               "this is fixed: %1")
                                    .arg(error);
        m_loginError = SpeechError::BadSettings;
        return m_loginError;
    }
    m_resultTimeoutMs = config.resultTimeoutMs;
    if (!m_kept || config != m_keptConfig) {
        m_kept.reset(); // frees the old engine's models before the new one loads its own
        m_kept = createSpeechEngine(config);
        m_keptConfig = config;
    }
    m_active = m_kept;
    m_loginError = m_active->login(user, password, params);
    return m_loginError;
}

int SpeechService::logout()
{
    if (!m_active)
        return m_loginError != 0 ? 0 : SpeechError::NotLoggedIn;
    const int code = m_active->logout();
    m_active.reset();
    m_loginError = 0;
    return code;
}

int SpeechService::blockPauseMs() const
{
    return m_active ? m_active->blockPauseMs() : 0;
}

int SpeechService::resultTimeoutMs() const
{
    return m_active ? m_active->resultTimeoutMs() : m_resultTimeoutMs;
}
