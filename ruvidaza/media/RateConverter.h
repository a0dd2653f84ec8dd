#pragma once

#include <cstdint>
#include <vector>

// Converts a stream of 16-bit samples between two rates whose ratio is a
// whole number either way (8000 <-> 16000 <-> 48000), through a windowed-sinc
// low-pass filter that keeps its history across calls, so consecutive
// frames join without clicks. Mono only; channels are folded or copied by
// the caller.
class RateConverter
{
public:
    RateConverter(int inRate, int outRate);

    int inRate() const { return m_inRate; }
    int outRate() const { return m_outRate; }
    // Converts `count` samples, appending the output to `out`.
    void convert(const int16_t *in, int count, std::vector<int16_t> *out);
    // Forgets the history (a new stream starts).
    void reset();

private:
    int m_inRate;
    int m_outRate;
    int m_up = 1;    // interpolation factor
    int m_down = 1;  // decimation factor
    int m_phase = 0; // input samples taken since the last decimated output
    std::vector<float> m_phaseTaps; // m_up rows of m_length taps
    // Stores a sample; returns where the newest one lies, with the older
    // ones just before it.
    const float *push(int16_t sample);
    // Sum of n products; n a multiple of four.
    static float dot(const float *taps, const float *window, int n);

    int m_length = 0; // samples of history each output needs
    int m_pos = 0;
    std::vector<float> m_history; // two copies of a ring of m_length
};
