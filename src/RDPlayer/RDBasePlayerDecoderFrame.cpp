#include "RDBasePlayerDecoderFrame.h"

extern "C" {
#include <libavutil/frame.h>
}

RDBasePlayerDecoderFrame::RDBasePlayerDecoderFrame(const AVFrame *frame, double time)
    : m_frame(av_frame_alloc()), m_time(time)
{
    if (m_frame && frame && av_frame_ref(m_frame, frame) < 0)
        av_frame_unref(m_frame);
}

RDBasePlayerDecoderFrame::~RDBasePlayerDecoderFrame()
{
    av_frame_free(&m_frame);
}
