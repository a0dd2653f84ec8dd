#include "SipFrameQueue.h"

#include "SipStreamFrame.h"

SipFrameQueue::~SipFrameQueue()
{
    clear();
}

void SipFrameQueue::push(SipStreamFrame *frame)
{
    if (!frame) {
        return;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    m_frames.push_back(frame);
}

SipStreamFrame *SipFrameQueue::pop()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_frames.empty()) {
        return nullptr;
    }
    SipStreamFrame *frame = m_frames.front();
    m_frames.pop_front();
    return frame;
}

void SipFrameQueue::clear()
{
    std::deque<SipStreamFrame *> frames;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        frames.swap(m_frames);
    }
    for (SipStreamFrame *frame : frames) {
        delete frame;
    }
}

int SipFrameQueue::trim(int keep)
{
    std::deque<SipStreamFrame *> old;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const size_t left = static_cast<size_t>(keep > 0 ? keep : 0);
        while (m_frames.size() > left) {
            old.push_back(m_frames.front());
            m_frames.pop_front();
        }
    }
    for (SipStreamFrame *frame : old) {
        delete frame;
    }
    return static_cast<int>(old.size());
}

int SipFrameQueue::count() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return static_cast<int>(m_frames.size());
}
