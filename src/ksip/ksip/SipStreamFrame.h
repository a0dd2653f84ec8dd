#pragma once

#include <cstdint>

// One media frame handed between a call and its device: PCM, or data
// already in the payload's encoding (sent unchanged).
class SipStreamFrame
{
public:
    // Copies `size` bytes of `data`.
    SipStreamFrame(const void *data, int32_t size, double duration, bool encoded = false);
    ~SipStreamFrame();

    // Takes over a buffer made with new uint8_t[].
    static SipStreamFrame *adopt(uint8_t *data, int32_t size, double duration, bool encoded = false);

    uint8_t *data() const { return m_data; }
    int32_t size() const { return m_size; }
    // Seconds of media.
    double duration() const { return m_duration; }
    bool isEncoded() const { return m_encoded; }

private:
    SipStreamFrame() = default;
    SipStreamFrame(const SipStreamFrame &) = delete;
    SipStreamFrame &operator=(const SipStreamFrame &) = delete;

    uint8_t *m_data = nullptr;
    int32_t m_size = 0;
    double m_duration = 0.0;
    bool m_encoded = false;
};
