#pragma once

#include "KelAudioFrame.h"
#include "KelClient.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

// An app session for the SIP device tests: frames the test "talks" wait in
// a queue for the device, frames the device sends for listening are kept.
class FakeAppSession : public KelClient
{
public:
    bool isOpen() const override { return m_open.load(); }
    void setOpen(bool open)
    {
        m_open.store(open);
        notifyAudio();
    }
    void queueData(const KelPacket &) override {}
    void queueAudio(const KelAudioFrame &frame) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_sent.push_back(frame);
        m_sentChanged.notify_all();
    }
    void takeAudio(KelAudioFrame &frame) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_talk.empty()) {
            frame.reset();
            return;
        }
        frame = m_talk.front();
        m_talk.pop_front();
    }

    // What the app says into the call.
    void talk(uint32_t codec, const std::vector<uint8_t> &bytes)
    {
        KelAudioFrame f;
        f.codec = codec;
        f.channels = 1;
        f.sampleRate = 8000;
        f.data = bytes;
        f.length = int32_t(bytes.size());
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_talk.push_back(f);
        }
        notifyAudio();
    }
    size_t talkWaiting()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_talk.size();
    }
    // Waits until at least `n` frames were sent to the app.
    std::vector<KelAudioFrame> waitSent(size_t n, int timeoutMs)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_sentChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_sent.size() >= n; });
        return m_sent;
    }

private:
    std::atomic<bool> m_open{true};
    std::mutex m_lock;
    std::condition_variable m_sentChanged;
    std::deque<KelAudioFrame> m_talk;
    std::vector<KelAudioFrame> m_sent;
};
