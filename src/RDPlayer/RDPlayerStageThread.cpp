#include "RDPlayerStageThread.h"

#include "RDBasePlayerDecoder.h"
#include "RDBasePlayerInput.h"
#include "RDBasePlayerInputPacket.h"

namespace {

template <typename Source, typename Item>
RDPlayerStageThread::Take takeFrom(Source *source, int (Source::*pop)(Item **), void (Source::*wait)(int, int),
                                   int mediaType, int timeoutMs, Item **item)
{
    // Asked before taking: once the source has ended, an empty queue means
    // that every item has been taken.
    const bool running = source->isRunning();
    if ((source->*pop)(item) >= 0)
        return RDPlayerStageThread::Take::Item;
    if (!running)
        return RDPlayerStageThread::Take::Ended;
    (source->*wait)(mediaType, timeoutMs);
    return RDPlayerStageThread::Take::Again;
}

} // namespace

RDPlayerStageThread::Take RDPlayerStageThread::take(RDBasePlayerInput *source, int mediaType, int timeoutMs,
                                                    RDBasePlayerInputPacket **packet)
{
    const bool video = mediaType == RDBasePlayerInputPacket::Video;
    return takeFrom(source, video ? &RDBasePlayerInput::popVideoPacket : &RDBasePlayerInput::popAudioPacket,
                    &RDBasePlayerInput::waitForPacket, mediaType, timeoutMs, packet);
}

RDPlayerStageThread::Take RDPlayerStageThread::take(RDBasePlayerDecoder *source, int mediaType, int timeoutMs,
                                                    RDBasePlayerDecoderFrame **frame)
{
    const bool video = mediaType == RDBasePlayerInputPacket::Video;
    return takeFrom(source, video ? &RDBasePlayerDecoder::popVideoFrame : &RDBasePlayerDecoder::popAudioFrame,
                    &RDBasePlayerDecoder::waitForFrame, mediaType, timeoutMs, frame);
}
