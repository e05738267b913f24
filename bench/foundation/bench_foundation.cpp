// Prints how fast the settings map is saved (atomically, the 14 default keys)
// and how fast an utterance is wrapped into record.wav.
#include "app/datafiles.h"
#include "app/settings.h"
#include "capture/recorder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());

    createDefaultConfig();
    SettingsMap *map = settingsMap();
    const int saves = 2000;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < saves; ++i) {
        (*map)[QStringLiteral("TypingLanguage")] = i % 5;
        saveSettingsMap(map);
    }
    const double savesPerSecond = saves / (clock.nsecsElapsed() / 1e9);

    // Ten seconds at 16 kHz mono 16-bit.
    QFile raw(DataFiles::recordRaw);
    raw.open(QIODevice::WriteOnly);
    raw.write(QByteArray(320000, '\x11'));
    raw.close();
    const int conversions = 500;
    clock.restart();
    for (int i = 0; i < conversions; ++i)
        writeWavFile(DataFiles::recordRaw, DataFiles::recordWav);
    const double mbPerSecond = conversions * 320000.0 / 1e6 / (clock.nsecsElapsed() / 1e9);

    std::printf("SUMMARY foundation settings_saves_per_s=%.0f wav_mb_per_s=%.1f\n", savesPerSecond,
                mbPerSecond);
    return 0;
}
