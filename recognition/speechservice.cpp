#include "recognition/speechservice.h"

#include "recognition/speechenginefactory.h"
#include "recognition/speecherror.h"

#include <QDebug>
#include <QDir>

int SpeechService::notLoggedIn()
{
    return SpeechError::NotLoggedIn;
}

int SpeechService::login(const QByteArray &user, const QByteArray &password,
                         const QByteArray &params)
{
    m_active.reset();
    m_loginError = configuredEngine(params);
    if (m_loginError != 0)
        return m_loginError;
    m_active = m_kept;
    m_loginError = m_active->login(user, password, params);
    return m_loginError;
}

int SpeechService::configuredEngine(const QByteArray &loginParams)
{
    const QString workDir = SpeechConfig::workDir(loginParams);
    SpeechConfig config;
    QString error;
    if (!SpeechConfig::load(workDir, &config, &error)) {
        qWarning().noquote() << QStringLiteral(
                                    "speech: bad settings, speech recognition is off until "
                                    "this is fixed: %1")
                                    .arg(error);
        return SpeechError::BadSettings;
    }
    m_resultTimeoutMs = config.resultTimeoutMs;
    if (!m_kept || config != m_keptConfig) {
        m_kept.reset(); // frees the old engine's models before the new one loads its own
        m_kept = m_factory(config);
        m_keptConfig = config;
    }
    return 0;
}

void SpeechService::setFactory(SpeechEngineFactory factory)
{
    m_factory = factory ? std::move(factory) : SpeechEngineFactory(createSpeechEngine);
    m_kept.reset();
}

void SpeechService::preload(const QByteArray &loginParams, const QByteArray &params)
{
    if (configuredEngine(loginParams) == 0)
        m_kept->preload(params);
}

void SpeechService::listen(const QByteArray &samples, int audioStatus)
{
    if (m_kept)
        m_kept->listen(samples, audioStatus);
}

int SpeechService::logout()
{
    if (!m_active) {
        // A failed login still ends with a logout; only a logout without any login is wrong.
        const int code = m_loginError != 0 ? 0 : SpeechError::NotLoggedIn;
        m_loginError = 0;
        return code;
    }
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
