#pragma once

#include <QString>

// The files Ferrule keeps in its data folder, which is the working folder: the
// launcher starts the program there (~/.local/share/ferrule) and copies in the
// samples of the word lists and the speech settings. Log lines name the files
// as they stand here.
namespace DataFiles {

constexpr QLatin1String config("./config.txt");
constexpr QLatin1String log("./ferrule.log");
// The microphone's samples as they come, and the utterance wrapped for the recognizer.
constexpr QLatin1String recordRaw("./record.raw");
constexpr QLatin1String recordWav("./record.wav");
constexpr QLatin1String webSearch("./websearch.txt");
constexpr QLatin1String userWords("./userwords.txt");
constexpr QLatin1String customCommands("./customcommands.json");
// Read from the speech engine's work_dir, which the login string sets to the
// working folder: a name to join to that folder.
constexpr QLatin1String speechIniName("speech.ini");

} // namespace DataFiles
