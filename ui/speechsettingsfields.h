#pragma once

#include "recognition/speechconfig.h"

#include <QMap>
#include <QString>

// The languages whose models the speech settings page edits, in the order of its lists.
inline constexpr const char *speechModelLanguages[] = {"mandarin", "cantonese", "english"};

// What the speech settings page edits, in the units its widgets show, and how a change
// of it goes into speech.ini: the values that changed are written into the file's text
// as it stands, every other line stays.
struct SpeechSettingsFields
{
    bool remote = false;
    QString url, model, apiKey;
    int connectS = 5, replyS = 15;
    QMap<QString, SpeechModelPaths> models; // mandarin, cantonese, english
    QString translationUrl, translationModel, translationApiKey;
    int translationConnectS = 5, translationReplyS = 15;

    static SpeechSettingsFields of(const SpeechConfig &config);
    bool operator==(const SpeechSettingsFields &o) const;

    // Why these fields cannot be saved (Chinese, for the page); empty when they can.
    QString problem() const;
    // fileText with what changed since was; check problem() first.
    QString editedText(const QString &fileText, const SpeechSettingsFields &was) const;

private:
    QString textProblem() const;
    QString modelProblem() const;
};
