#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One datagram of the P2P protocol. Every datagram is a 16-byte big-endian
// header (magic, version, type, connection id, sequence number, cumulative
// acknowledgement) followed by a body whose layout the type fixes. The
// parser takes bytes straight from the network: anything that does not fit
// its type exactly is refused.
class P2PPacket
{
public:
    enum Type : uint8_t {
        Login = 1,     // device -> rendezvous: uid and login information
        LoginReply,    // rendezvous -> device: result
        Lookup,        // client -> rendezvous: uid
        LookupReply,   // rendezvous -> client: result, IPv4 address and port
        Connect,       // client -> device: uid
        ConnectReply,  // device -> client: result
        Data,          // one segment of a reliable, ordered message
        Ack,           // cumulative acknowledgement plus a bitmap of the next 64
        Audio,         // one audio frame, unreliable
        Ping,          // keep-alive
        Close,         // the sender ends the connection
        TypeCount
    };

    // What a reliable message carries.
    enum Kind : uint8_t { AvStart = 1, AvStartReply = 2, IoCtrl = 3, AvStop = 4 };
    enum SegmentFlags : uint8_t { First = 1, Last = 2 };

    static constexpr uint16_t Magic = 0x4B50;
    static constexpr uint8_t Version = 1;
    static constexpr size_t HeaderSize = 16;
    static constexpr size_t MaxUidLength = 64;
    static constexpr size_t LoginInfoSize = 16;
    static constexpr size_t MaxSegment = 1200;
    static constexpr size_t MaxMessage = 131072;
    static constexpr size_t FrameInfoSize = 16;
    static constexpr size_t MaxAudio = 1280;
    static constexpr size_t MaxDatagram = 1500;

    uint8_t type = 0;
    uint32_t connection = 0;
    uint32_t seq = 0;
    uint32_t ack = 0;

    // Login, Lookup, Connect.
    std::string uid;
    // Login: LoginInfoSize bytes.
    std::vector<uint8_t> info;
    // LoginReply, LookupReply, ConnectReply.
    int32_t result = 0;
    // LookupReply, host byte order.
    uint32_t address = 0;
    uint16_t port = 0;
    // Data.
    uint8_t kind = 0;
    uint8_t flags = 0;
    uint8_t channel = 0;
    uint32_t ioType = 0;
    uint32_t total = 0;
    // Data: the segment's bytes; Audio: the frame's bytes.
    std::vector<uint8_t> payload;
    // Ack: bit i set = segment ack + 1 + i arrived.
    uint64_t ackBits = 0;
    // Audio.
    uint32_t frameNo = 0;
    uint8_t frameInfo[FrameInfoSize] = {};

    // The datagram, or an empty vector when a field is out of range.
    std::vector<uint8_t> encode() const;
    // True when `data` is one well-formed datagram; `out` is then filled.
    static bool parse(const uint8_t *data, size_t size, P2PPacket &out);
};
