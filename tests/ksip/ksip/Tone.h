#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

// Test tones: generation and the two measures the media tests compare,
// the frequency (from zero crossings) and the level (RMS in dB full scale).
namespace Tone {

// `samples` frames of a sine at `hz` and `amplitude`, `channels` interleaved,
// continuing from frame `start`.
inline std::vector<int16_t> sine(double hz, int rate, int channels, int samples, double amplitude = 10000.0,
                                 long start = 0)
{
    std::vector<int16_t> out(size_t(samples) * channels);
    for (int i = 0; i < samples; ++i) {
        const double v = amplitude * std::sin(2.0 * M_PI * hz * double(start + i) / rate);
        for (int c = 0; c < channels; ++c) {
            out[size_t(i) * channels + c] = static_cast<int16_t>(std::lround(v));
        }
    }
    return out;
}

// The first channel of interleaved PCM.
inline std::vector<double> channel(const std::vector<int16_t> &pcm, int channels, int ch = 0)
{
    std::vector<double> out;
    for (size_t i = ch; i < pcm.size(); i += channels) {
        out.push_back(pcm[i]);
    }
    return out;
}

// Frequency from the rising zero crossings, interpolated; 0 without two.
inline double frequency(const std::vector<double> &x, int rate)
{
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = 1; i < x.size(); ++i) {
        if (x[i - 1] < 0 && x[i] >= 0) {
            const double t = double(i - 1) + (-x[i - 1]) / (x[i] - x[i - 1]);
            if (first < 0) {
                first = t;
            } else {
                ++crossings;
            }
            last = t;
        }
    }
    return crossings > 0 ? crossings * double(rate) / (last - first) : 0.0;
}

inline double rmsDb(const std::vector<double> &x)
{
    double sum = 0;
    for (double v : x) {
        sum += v * v;
    }
    const double rms = x.empty() ? 0.0 : std::sqrt(sum / x.size());
    return 20.0 * std::log10((rms + 1e-9) / 32768.0);
}

inline double sineDb(double amplitude)
{
    return 20.0 * std::log10(amplitude / std::sqrt(2.0) / 32768.0);
}

} // namespace Tone

namespace Tone {

// Share of the signal's energy at `hz` (Goertzel filter over the whole
// block), 0..1: about 1 for a pure tone at `hz`, near 0 for other tones
// and for noise.
inline double goertzelShare(const std::vector<double> &x, double hz, int rate)
{
    if (x.empty()) {
        return 0.0;
    }
    const double w = 2.0 * M_PI * hz / rate;
    const double coeff = 2.0 * std::cos(w);
    double s1 = 0, s2 = 0, energy = 0;
    for (double v : x) {
        const double s0 = v + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
        energy += v * v;
    }
    const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    // A pure tone of N samples gives power N^2 A^2 / 4 and energy N A^2 / 2.
    return energy > 0 ? 2.0 * power / (double(x.size()) * energy) : 0.0;
}

// How many 100 ms blocks of `x` are mostly (share above 0.8) the tone at
// `hz`. Audio heard through the switch may step up in level once (a zone's
// file level reaches the switch just after its play, a caller's just after
// the call joined): the step weighs on the one block it falls in, where a
// share over the whole would take it for another sound.
inline int blocksOfTone(const std::vector<double> &x, double hz, int rate)
{
    const size_t block = size_t(rate) / 10;
    int blocks = 0;
    for (size_t at = 0; at + block <= x.size(); at += block) {
        const std::vector<double> part(x.begin() + long(at), x.begin() + long(at + block));
        if (goertzelShare(part, hz, rate) > 0.8) {
            ++blocks;
        }
    }
    return blocks;
}

} // namespace Tone
