#pragma once

#include <deque>
#include <mutex>

class SipStreamFrame;

// A device's frame queue: first in, first out, under its own mutex. Owns
// the frames it holds.
class SipFrameQueue
{
public:
    SipFrameQueue() = default;
    ~SipFrameQueue();

    void push(SipStreamFrame *frame);
    // The oldest frame (now the caller's), or null when empty.
    SipStreamFrame *pop();
    // Deletes every frame.
    void clear();
    // Deletes the oldest frames until at most `keep` are left; returns how
    // many were deleted.
    int trim(int keep);
    int count() const;

private:
    SipFrameQueue(const SipFrameQueue &) = delete;
    SipFrameQueue &operator=(const SipFrameQueue &) = delete;

    mutable std::mutex m_lock;
    std::deque<SipStreamFrame *> m_frames;
};
