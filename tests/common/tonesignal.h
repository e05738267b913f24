#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

#include <cmath>

// Made-up 16 kHz 16-bit mono audio from stretches of {milliseconds, amplitude}: a 200 Hz
// tone standing for speech (two whole periods per 10 ms frame, so every frame of a
// stretch has the same energy), or silence for amplitude 0.
inline QByteArray toneSignal(const QList<QPair<int, int>> &stretches)
{
    QByteArray pcm;
    for (const auto &stretch : stretches) {
        const int samples = stretch.first * 16;
        for (int i = 0; i < samples; ++i) {
            const auto sample = qint16(std::lround(stretch.second * std::sin(2 * M_PI * i / 80)));
            pcm.append(reinterpret_cast<const char *>(&sample), 2);
        }
    }
    return pcm;
}
