#include "PASipAudioDeviceWriter.h"

#include "CoreAudioRender.h"
#include "PASipAudioDeviceReader.h"
#include "RDAudioResampler.h"
#include "RDLog.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

#define CARDWRITE_LOG(...) RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, __VA_ARGS__)

namespace {
uint64_t layoutOf(int channels)
{
    return channels < 2 ? AV_CH_LAYOUT_MONO : AV_CH_LAYOUT_STEREO;
}
}

PASipAudioDeviceWriter::PASipAudioDeviceWriter(const PASipAudioFormat &receive)
    : m_receive(receive)
{
}

PASipAudioDeviceWriter::~PASipAudioDeviceWriter()
{
    stop();
    delete m_resampler;
}

bool PASipAudioDeviceWriter::start()
{
    m_render = std::make_unique<CoreAudioRender>();
    m_render->setObserver(this);
    return m_render->start();
}

void PASipAudioDeviceWriter::stop()
{
    if (m_render)
        m_render->stop();
}

void PASipAudioDeviceWriter::write(const int16_t *pcm, int bytes)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_resampler)
        m_resampler->write(pcm, bytes);
}

void PASipAudioDeviceWriter::onRenderStarted(CoreAudioRender *render)
{
    const RDAudioFormat *f = render->format();
    const int format = PASipAudioDeviceReader::sampleFormat(f->formatTag, f->bitsPerSample);
    std::lock_guard<std::mutex> lock(m_lock);
    delete m_resampler;
    m_resampler = nullptr;
    if (format < 0 || f->channels > 2) {
        CARDWRITE_LOG("playback format (tag %d, %d bit, %d channels) not taken\n", f->formatTag, f->bitsPerSample,
                      f->channels);
        return;
    }
    m_resampler = new RDAudioResampler;
    if (!m_resampler->open(m_receive.rate(), layoutOf(m_receive.channels()), m_receive.channels(), AV_SAMPLE_FMT_S16,
                           f->sampleRate, layoutOf(f->channels), f->channels, format)) {
        delete m_resampler;
        m_resampler = nullptr;
    }
}

void PASipAudioDeviceWriter::onRenderClosed(CoreAudioRender *)
{
    std::lock_guard<std::mutex> lock(m_lock);
    delete m_resampler;
    m_resampler = nullptr;
}

void PASipAudioDeviceWriter::onRenderData(CoreAudioRender *, unsigned char *buffer, int, int bytes)
{
    std::lock_guard<std::mutex> lock(m_lock);
    // Whole periods only: a period without enough audio stays silent.
    if (m_resampler)
        m_resampler->read(buffer, bytes);
}
