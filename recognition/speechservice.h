#pragma once

#include "recognition/speechconfig.h"
#include "recognition/speechengine.h"
#include "recognition/speechenginefactory.h"

#include <memory>

// The SDK's login state: which engine serves the calls between SpeechLogin and
// SpeechLogout. The engine is kept after logout and reused by the next login while
// speech.ini says the same, so its models stay loaded between utterances.
class SpeechService
{
public:
    int login(const QByteArray &user, const QByteArray &password, const QByteArray &params);
    int logout();
    // Engines are made by factory from the next login on; the kept one is dropped.
    void setFactory(SpeechEngineFactory factory);
    // Makes the configured engine (not logging in) and has it preload for params.
    void preload(const QByteArray &loginParams, const QByteArray &params);
    // Hands audio still being recorded to the configured engine (see SpeechListen).
    void listen(const QByteArray &samples, int audioStatus);

    // Runs call on the logged-in engine; without one, returns why there is none.
    template <typename Call> int engineCall(Call call)
    {
        if (!m_active)
            return m_loginError != 0 ? m_loginError : notLoggedIn();
        return call(*m_active);
    }

    // The logged-in engine, null between logout and login.
    std::shared_ptr<SpeechEngine> activeEngine() const { return m_active; }

    int blockPauseMs() const;
    int resultTimeoutMs() const;

private:
    static int notLoggedIn();
    // The engine speech.ini asks for, kept while the file says the same; 0 or an error code.
    int configuredEngine(const QByteArray &loginParams);
    SpeechEngineFactory m_factory = createSpeechEngine;
    std::shared_ptr<SpeechEngine> m_active; // set between login and logout
    std::shared_ptr<SpeechEngine> m_kept;   // the configured engine, kept across logins
    SpeechConfig m_keptConfig;
    int m_loginError = 0;
    int m_resultTimeoutMs = 20000;
};
