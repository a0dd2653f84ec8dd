#include "RDBasePlayerInputPacket.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstring>

RDBasePlayerInputPacket::RDBasePlayerInputPacket(const AVPacket *packet, int codecId, int mediaType)
    : m_packet(av_packet_alloc()), m_codecId(codecId), m_mediaType(mediaType)
{
    if (m_packet && packet && av_packet_ref(m_packet, packet) < 0)
        av_packet_unref(m_packet);
}

RDBasePlayerInputPacket::~RDBasePlayerInputPacket()
{
    av_packet_free(&m_packet);
}

RDBasePlayerInputPacket *RDBasePlayerInputPacket::copy() const
{
    auto *result = new RDBasePlayerInputPacket();
    result->m_codecId = m_codecId;
    result->m_mediaType = m_mediaType;
    result->m_packet = av_packet_alloc();
    if (!result->m_packet || av_new_packet(result->m_packet, m_packet->size) < 0) {
        delete result;
        return nullptr;
    }
    if (m_packet->size > 0)
        std::memcpy(result->m_packet->data, m_packet->data, size_t(m_packet->size));
    result->m_packet->flags = m_packet->flags;
    result->m_packet->pts = m_packet->pts;
    result->m_packet->dts = m_packet->dts;
    result->m_packet->duration = m_packet->duration;
    result->m_packet->time_base = m_packet->time_base;
    return result;
}
