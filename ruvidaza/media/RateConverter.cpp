#include "RateConverter.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kTapsPerPhase = 16;

int16_t clip(float v)
{
    const float r = std::nearbyint(v);
    return static_cast<int16_t>(std::max(-32768.0f, std::min(32767.0f, r)));
}

} // namespace

RateConverter::RateConverter(int inRate, int outRate) : m_inRate(inRate), m_outRate(outRate)
{
    if (inRate <= 0 || outRate <= 0 || inRate == outRate) {
        return;
    }
    if (outRate > inRate && outRate % inRate == 0) {
        m_up = outRate / inRate;
    } else if (inRate > outRate && inRate % outRate == 0) {
        m_down = inRate / outRate;
    } else {
        return; // not a whole ratio: samples pass unchanged
    }
    // Low-pass at 90 % of the lower rate's Nyquist frequency, designed at
    // the higher rate, Blackman window.
    const int factor = std::max(m_up, m_down);
    const int n = kTapsPerPhase * factor;
    const double cutoff = 0.45 / factor; // cycles per sample at the higher rate
    const double pi = 3.14159265358979323846;
    std::vector<float> taps(n);
    double sum = 0;
    for (int i = 0; i < n; ++i) {
        const double x = i - (n - 1) / 2.0;
        const double sinc = x == 0 ? 2 * cutoff : std::sin(2 * pi * cutoff * x) / (pi * x);
        const double w = 0.42 - 0.5 * std::cos(2 * pi * i / (n - 1)) + 0.08 * std::cos(4 * pi * i / (n - 1));
        taps[i] = static_cast<float>(sinc * w);
        sum += taps[i];
    }
    // Unity gain at DC for the decimator; the interpolator's zero stuffing
    // loses a factor `m_up` that the taps give back.
    for (float &t : taps) {
        t = static_cast<float>(t / sum * m_up);
    }
    m_length = m_up > 1 ? kTapsPerPhase : n;
    m_history.assign(2 * m_length, 0.0f);
    // Per output phase, the taps in the order of the window they meet
    // (oldest sample first).
    m_phaseTaps.resize(static_cast<size_t>(m_up) * m_length);
    for (int p = 0; p < m_up; ++p) {
        for (int k = 0; k < m_length; ++k) {
            m_phaseTaps[p * m_length + k] = taps[p + (m_length - 1 - k) * m_up];
        }
    }
}

const float *RateConverter::push(int16_t sample)
{
    // Each sample is stored twice, m_length apart, so the newest h samples always
    // lie side by side.
    m_history[m_pos] = sample;
    m_history[m_pos + m_length] = sample;
    m_pos = (m_pos + 1) % m_length;
    return m_history.data() + m_pos + m_length - 1;
}

void RateConverter::reset()
{
    std::fill(m_history.begin(), m_history.end(), 0.0f);
    m_phase = 0;
    m_pos = 0;
}

float RateConverter::dot(const float *taps, const float *window, int n)
{
    // Four partial sums: the additions do not wait on each other.
    float a0 = 0, a1 = 0, a2 = 0, a3 = 0;
    for (int k = 0; k < n; k += 4) {
        a0 += taps[k] * window[k];
        a1 += taps[k + 1] * window[k + 1];
        a2 += taps[k + 2] * window[k + 2];
        a3 += taps[k + 3] * window[k + 3];
    }
    return (a0 + a1) + (a2 + a3);
}

void RateConverter::convert(const int16_t *in, int count, std::vector<int16_t> *out)
{
    if (m_phaseTaps.empty()) {
        out->insert(out->end(), in, in + count);
        return;
    }
    const int h = m_length;
    out->reserve(out->size() + static_cast<size_t>(count) * m_up / m_down + 1);
    if (m_up > 1) {
        // Polyphase interpolation: each input sample gives `m_up` outputs,
        // each from its own share of the taps.
        for (int i = 0; i < count; ++i) {
            const float *window = push(in[i]) - (h - 1);
            for (int p = 0; p < m_up; ++p) {
                out->push_back(clip(dot(m_phaseTaps.data() + p * h, window, h)));
            }
        }
        return;
    }
    for (int i = 0; i < count; ++i) {
        const float *window = push(in[i]) - (h - 1);
        if (++m_phase < m_down) {
            continue;
        }
        m_phase = 0;
        out->push_back(clip(dot(m_phaseTaps.data(), window, h)));
    }
}
