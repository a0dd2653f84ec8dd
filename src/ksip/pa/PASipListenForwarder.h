#pragma once

#include "PASipAudioFormat.h"

#include <atomic>
#include <cstdint>
#include <memory>

class KelClient;
class RDAudioTranscoder;

// Forwards a call's received audio to a listening app session as G.711
// mu-law frames (code 0, 8000 Hz, mono, 20 ms each). Once the session has
// closed it marks itself finished and drops what it is given. Used under
// its owner's lock.
class PASipListenForwarder
{
public:
    PASipListenForwarder(const std::shared_ptr<KelClient> &session, const PASipAudioFormat &receive);
    ~PASipListenForwarder();

    // False when the conversion cannot be set up.
    bool open();
    void write(const int16_t *pcm, int bytes);
    bool isFinished() const { return m_finished; }

private:
    PASipListenForwarder(const PASipListenForwarder &) = delete;
    PASipListenForwarder &operator=(const PASipListenForwarder &) = delete;

    const std::shared_ptr<KelClient> m_session;
    const PASipAudioFormat m_receive;
    bool m_finished = false;
    RDAudioTranscoder *m_transcoder = nullptr;
};
