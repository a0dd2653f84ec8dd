#pragma once

#include "PASipAudioFormat.h"
#include "RDThread.h"
#include "SipFrameQueue.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class KelClient;
class RDAudioTranscoder;
class SipStreamFrame;

// Takes the audio an app session talks (G.711, G.722, GSM or MP3 frames) on
// its own thread ("Client Read") and queues it as 20 ms PCM frames of the
// call's format. Ends when the session closes or after the silence time-out
// without any frame; it waits for the session's frames, it does not poll.
class PASipClientReader : public RDThread
{
public:
    PASipClientReader(const std::shared_ptr<KelClient> &session, const PASipAudioFormat &target);
    // Stops the thread and waits for it.
    ~PASipClientReader() override;

    void stop() override;
    SipStreamFrame *pop();
    bool isFinished() const { return m_finished.load(); }
    bool hasFrames() const { return m_queue.count() > 0; }

    // Silence after which the reader ends (20000 ms); readers made later
    // use the value set. Tests shorten it.
    static void setSilenceTimeoutMs(int ms);
    static int silenceTimeoutMs();

    // The sample rate an app frame of `codec` decodes at (G.722 gives
    // 16000 Hz samples on its 8000 Hz clock), or 0 for a codec that is not
    // taken.
    static int inputRate(uint32_t codec);

protected:
    void run() override;

private:
    bool openTranscoder(uint32_t codec);
    void closeTranscoder();

    const std::shared_ptr<KelClient> m_session;
    const PASipAudioFormat m_target;
    const int m_silenceTimeoutMs;
    std::atomic<bool> m_finished{false};
    RDAudioTranscoder *m_transcoder = nullptr;
    std::vector<uint8_t> m_carry;
    SipFrameQueue m_queue;
};
