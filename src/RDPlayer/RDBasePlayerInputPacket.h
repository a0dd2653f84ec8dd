#pragma once

struct AVPacket;

// One demultiplexed packet on its way from the input stage to the decoder
// and the recorder. Owns its reference to the packet.
class RDBasePlayerInputPacket
{
public:
    enum MediaType {
        Video = 1,
        Audio = 2,
    };

    // Takes a new reference to `packet` (its time base must already be set).
    RDBasePlayerInputPacket(const AVPacket *packet, int codecId, int mediaType);
    ~RDBasePlayerInputPacket();

    // A deep copy: fresh bytes, with the size, flags, timestamps and time
    // base of this packet. Null when memory runs out.
    RDBasePlayerInputPacket *copy() const;

    AVPacket *packet() const { return m_packet; }
    int codecId() const { return m_codecId; }
    int mediaType() const { return m_mediaType; }

private:
    RDBasePlayerInputPacket() = default;

    AVPacket *m_packet = nullptr;
    int m_codecId = 0;
    int m_mediaType = 0;

    RDBasePlayerInputPacket(const RDBasePlayerInputPacket &) = delete;
    RDBasePlayerInputPacket &operator=(const RDBasePlayerInputPacket &) = delete;
};
