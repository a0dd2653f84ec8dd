#include "SipStreamFrame.h"

#include <cstring>

SipStreamFrame::SipStreamFrame(const void *data, int32_t size, double duration, bool encoded)
    : m_size(size > 0 ? size : 0), m_duration(duration), m_encoded(encoded)
{
    if (m_size > 0) {
        m_data = new uint8_t[m_size];
        if (data) {
            std::memcpy(m_data, data, m_size);
        } else {
            std::memset(m_data, 0, m_size);
        }
    }
}

SipStreamFrame::~SipStreamFrame()
{
    delete[] m_data;
}

SipStreamFrame *SipStreamFrame::adopt(uint8_t *data, int32_t size, double duration, bool encoded)
{
    auto *frame = new SipStreamFrame;
    frame->m_data = data;
    frame->m_size = data && size > 0 ? size : 0;
    frame->m_duration = duration;
    frame->m_encoded = encoded;
    return frame;
}
