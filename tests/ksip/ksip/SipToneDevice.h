#pragma once

#include "SipPayload.h"
#include "SipStreamDevice.h"
#include "SipStreamFrame.h"
#include "Tone.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

// A call's media end for tests: its source is an endless sine tone in the
// format the call opens it with, its sink keeps everything it is given.
class SipToneDevice : public SipStreamDevice
{
public:
    explicit SipToneDevice(double hz = 1000.0) : m_hz(hz) {}

    int openAudioSource(const SipPayload &p) override
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_rate = p.clockRate() > 0 ? p.clockRate() : 8000;
        m_channels = p.channels() > 0 ? p.channels() : 1;
        ++m_sourceOpens;
        return 0;
    }
    SipStreamFrame *readAudio(int) override
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (m_sourceOpens == 0) {
            return nullptr;
        }
        const int n = m_rate / 50;
        const auto pcm = Tone::sine(m_hz, m_rate, m_channels, n, 8000.0, m_frame);
        m_frame += n;
        return new SipStreamFrame(pcm.data(), int32_t(pcm.size() * 2), 0.02);
    }
    int writeAudio(const int16_t *pcm, int bytes, uint32_t) override
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_received.insert(m_received.end(), pcm, pcm + bytes / 2);
        return 0;
    }
    void stop() override
    {
        SipStreamDevice::stop();
        ++stops;
    }
    std::vector<int16_t> received()
    {
        std::lock_guard<std::mutex> g(m_lock);
        return m_received;
    }

    std::atomic<int> stops{0};

private:
    std::mutex m_lock;
    double m_hz;
    int m_rate = 8000;
    int m_channels = 1;
    int m_sourceOpens = 0;
    long m_frame = 0;
    std::vector<int16_t> m_received;
};
