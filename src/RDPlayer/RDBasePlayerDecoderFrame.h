#pragma once

struct AVFrame;

// One decoded frame with its time in seconds. Owns its reference to the frame.
class RDBasePlayerDecoderFrame
{
public:
    // Takes a new reference to `frame`.
    RDBasePlayerDecoderFrame(const AVFrame *frame, double time);
    ~RDBasePlayerDecoderFrame();

    AVFrame *frame() const { return m_frame; }
    double time() const { return m_time; }

private:
    AVFrame *m_frame;
    double m_time;

    RDBasePlayerDecoderFrame(const RDBasePlayerDecoderFrame &) = delete;
    RDBasePlayerDecoderFrame &operator=(const RDBasePlayerDecoderFrame &) = delete;
};
