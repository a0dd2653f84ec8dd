#pragma once

#include "P2PPacket.h"

#include <netinet/in.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <vector>

// State of one connection between two endpoints: a reliable, ordered stream
// of messages (segmented, acknowledged, retransmitted) and an unreliable
// stream of audio frames. Not locked itself: its endpoint's mutex guards it.
class P2PSession
{
public:
    enum class State { Connecting, Open, Closed };

    struct Message {
        uint8_t kind = 0;
        uint8_t channel = 0;
        uint32_t ioType = 0;
        std::vector<uint8_t> bytes;
    };
    struct Frame {
        uint8_t channel = 0;
        uint32_t frameNo = 0;
        uint8_t info[P2PPacket::FrameInfoSize] = {};
        std::vector<uint8_t> bytes;
    };

    // Segments in flight at once; the acknowledgement bitmap covers as many.
    static constexpr uint32_t Window = 64;
    // Received messages not yet taken: past this the stream stops being
    // acknowledged, so a reader that falls behind slows the sender down.
    static constexpr size_t MaxInboxBytes = 1 << 20;
    // What each held message costs against that cap besides its bytes, so
    // that a stream of empty messages nobody takes is bounded too.
    static constexpr size_t MessageOverhead = 64;
    // Messages queued for sending.
    static constexpr size_t MaxQueuedBytes = 4 << 20;
    static constexpr size_t MaxAudioFrames = 64;
    static constexpr double BaseRto = 0.08;
    static constexpr double MaxRto = 1.0;

    P2PSession(uint32_t connection, const sockaddr_in &peer, State state, double now);

    bool isFrom(const sockaddr_in &from) const;

    // Splits a message into segments behind the ones already queued; false
    // when the queue is full or the message too large.
    bool queueMessage(uint8_t kind, uint8_t channel, uint32_t ioType, const uint8_t *data, size_t size);
    // Segments to put on the wire now: first transmissions within the
    // window, then retransmissions that are due.
    void collectDue(double now, std::vector<P2PPacket> &out);
    void onAck(uint32_t cumulative, uint64_t bits);
    // Takes a received segment; false when it was refused (not acknowledged).
    bool onData(const P2PPacket &p);
    P2PPacket makeAck() const;
    // Keeps a received frame unless it is a repeat or older than the last one.
    bool onAudio(const P2PPacket &p);
    // Earliest retransmission time, or `fallback` when nothing is in flight.
    double nextRetransmit(double fallback) const;

    // Removes and returns the oldest message of `kind` on `channel`.
    bool takeMessage(uint8_t kind, uint8_t channel, Message &out);
    bool takeFrame(uint8_t channel, Frame &out);

    void close(int reason);

    const uint32_t connection;
    const sockaddr_in peer;
    State state;
    int closeReason = 0;
    double lastHeard;
    double lastSent;
    // Client side: the Connect sent until the device answers.
    double connectSentAt = 0;
    // Audio frames sent so far (the number of the last one).
    uint32_t sentFrames = 0;
    std::string uid;
    // Waiters for messages and for the session's state sleep on `cond`,
    // waiters for audio frames on `frameCond`, so that a stream of frames
    // does not wake a thread that waits for messages. The end of the
    // session wakes both.
    std::condition_variable cond;
    std::condition_variable frameCond;

private:
    struct Outgoing {
        P2PPacket packet;
        double sentAt = 0;
        int tries = 0;
        bool acked = false;
    };

    void deliver(const P2PPacket &segment);

    uint32_t m_nextSeq = 1;
    std::deque<Outgoing> m_inFlight;
    std::deque<P2PPacket> m_waiting;
    size_t m_queuedBytes = 0;

    uint32_t m_expected = 1;
    std::map<uint32_t, P2PPacket> m_early;
    bool m_assembling = false;
    Message m_partial;
    uint32_t m_partialTotal = 0;
    std::deque<Message> m_inbox;
    size_t m_inboxBytes = 0;

    std::deque<Frame> m_audio;
    bool m_haveFrame = false;
    uint32_t m_lastFrameNo = 0;
};
