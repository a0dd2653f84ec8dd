#pragma once

#include "SipG711.h"
#include "TestSupport.h"
#include "Tone.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// Tone material for the application SIP tests: WAV files, G.711 bytes and
// audio that the ffmpeg program makes or decodes.
namespace ToneMedia {

// A 16-bit mono WAV file of a sine.
inline bool writeWav(const QString &path, double hz, int rate, int ms, double amplitude = 10000.0)
{
    return PaTest::writeWav(path, Tone::sine(hz, rate, 1, rate * ms / 1000, amplitude), rate);
}

inline std::vector<uint8_t> ulaw(const std::vector<int16_t> &pcm)
{
    std::vector<uint8_t> out;
    for (int16_t s : pcm)
        out.push_back(SipG711::linearToUlaw(s));
    return out;
}

inline std::vector<double> fromUlaw(const uint8_t *data, int n)
{
    std::vector<double> out;
    for (int i = 0; i < n; ++i)
        out.push_back(SipG711::ulawToLinear(data[i]));
    return out;
}

// Runs ffmpeg with `args`, `input` on its standard input; its standard
// output, or empty when it failed or took longer than 20 s.
inline QByteArray ffmpeg(const QStringList &args, const QByteArray &input = QByteArray())
{
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), QStringList{"-hide_banner", "-loglevel", "error", "-nostdin"} + args);
    if (!p.waitForStarted(5000))
        return QByteArray();
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished(2000);
        return QByteArray();
    }
    return p.exitCode() == 0 ? p.readAllStandardOutput() : QByteArray();
}

// Decodes any audio ffmpeg reads into 8000 Hz mono samples.
inline std::vector<double> decodeToMono8k(const QByteArray &media)
{
    const QByteArray raw =
        ffmpeg({"-i", "pipe:0", "-f", "s16le", "-ac", "1", "-ar", "8000", "pipe:1"}, media);
    std::vector<double> out;
    const int16_t *s = reinterpret_cast<const int16_t *>(raw.constData());
    for (int i = 0; i < raw.size() / 2; ++i)
        out.push_back(s[i]);
    return out;
}

} // namespace ToneMedia
