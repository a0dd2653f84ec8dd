#include "PASipClientReader.h"

#include "KelAudioFrame.h"
#include "KelClient.h"
#include "RDAudioTranscoder.h"
#include "RDLog.h"
#include "SipStreamFrame.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <chrono>

#define CLIENTREAD_LOG(...) RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, __VA_ARGS__)

namespace {
std::atomic<int> s_silenceTimeoutMs{20000};

int64_t steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

AVCodecID codecId(uint32_t codec)
{
    switch (codec) {
    case 0:
        return AV_CODEC_ID_PCM_MULAW;
    case 8:
        return AV_CODEC_ID_PCM_ALAW;
    case 9:
        return AV_CODEC_ID_ADPCM_G722;
    case 3:
        return AV_CODEC_ID_GSM;
    case 14:
        return AV_CODEC_ID_MP3;
    default:
        return AV_CODEC_ID_NONE;
    }
}
}

PASipClientReader::PASipClientReader(const std::shared_ptr<KelClient> &session, const PASipAudioFormat &target)
    : m_session(session)
    , m_target(target)
    , m_silenceTimeoutMs(s_silenceTimeoutMs.load())
{
    setName("Client Read");
}

PASipClientReader::~PASipClientReader()
{
    stop();
    wait();
    closeTranscoder();
}

void PASipClientReader::setSilenceTimeoutMs(int ms)
{
    s_silenceTimeoutMs.store(ms);
}

int PASipClientReader::silenceTimeoutMs()
{
    return s_silenceTimeoutMs.load();
}

int PASipClientReader::inputRate(uint32_t codec)
{
    switch (codec) {
    case 0:
    case 8:
    case 3:
        return 8000;
    case 9:
        return 16000;
    case 14:
        return 44100;
    default:
        return 0;
    }
}

void PASipClientReader::stop()
{
    RDThread::stop();
    if (m_session)
        m_session->notifyAudio();
}

SipStreamFrame *PASipClientReader::pop()
{
    return m_queue.pop();
}

void PASipClientReader::closeTranscoder()
{
    PASipAudioFormat::close(m_transcoder);
    m_carry.clear();
}

bool PASipClientReader::openTranscoder(uint32_t codec)
{
    closeTranscoder();
    const AVCodecID id = codecId(codec);
    if (id == AV_CODEC_ID_NONE)
        return false;
    AVCodecParameters *src = PASipAudioFormat::codecParameters(id, inputRate(codec), codec == 14 ? 2 : 1);
    if (src && codec == 14)
        src->bit_rate = 128000;
    if (src && codec == 3)
        src->block_align = 33;
    m_transcoder = PASipAudioFormat::openTranscoder(src, m_target.parameters());
    return m_transcoder != nullptr;
}

void PASipClientReader::run()
{
    if (!m_session) {
        m_finished.store(true);
        return;
    }
    int64_t lastAudio = steadyMs();
    bool haveFormat = false;
    uint32_t codec = 0, channels = 0, rate = 0;
    KelAudioFrame frame;
    while (!isStopped()) {
        if (!m_session->isOpen()) {
            CLIENTREAD_LOG("talk session closed\n");
            break;
        }
        const uint64_t seen = m_session->audioSequence();
        m_session->takeAudio(frame);
        const uint8_t *payload = frame.payload();
        if (!payload || frame.length <= 0) {
            const int64_t quiet = steadyMs() - lastAudio;
            if (quiet >= m_silenceTimeoutMs) {
                CLIENTREAD_LOG("no talk audio for %d ms\n", int(quiet));
                break;
            }
            // Woken by a frame, a close or a stop; the cap re-checks the
            // session's state now and then.
            m_session->waitForAudio(seen, int(std::min<int64_t>(1000, m_silenceTimeoutMs - quiet)));
            continue;
        }
        lastAudio = steadyMs();
        if (!haveFormat || frame.codec != codec || frame.channels != channels || frame.sampleRate != rate) {
            haveFormat = true;
            codec = frame.codec;
            channels = frame.channels;
            rate = frame.sampleRate;
            if (!openTranscoder(codec))
                CLIENTREAD_LOG("talk codec %u not taken\n", codec);
        }
        if (!m_transcoder)
            continue;
        PASipAudioFormat::push(*m_transcoder, payload, frame.length);
        m_target.drain(*m_transcoder, m_carry, m_queue);
    }
    m_finished.store(true);
}
