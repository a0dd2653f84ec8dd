#include "KelAudioFrame.h"

#include <cstring>

namespace {

void readHeader(const uint8_t *p, KelAudioFrame &f)
{
    // Codec and channels are single signed bytes on the wire.
    f.codec = uint32_t(int32_t(int8_t(p[0])));
    f.channels = uint32_t(int32_t(int8_t(p[1])));
    f.sampleRate = (uint32_t(p[2]) << 8) | p[3];
    f.timestamp = (uint32_t(p[4]) << 24) | (uint32_t(p[5]) << 16) | (uint32_t(p[6]) << 8) | p[7];
}

} // namespace

void KelAudioFrame::reset()
{
    codec = channels = sampleRate = timestamp = 0;
    data.clear();
    offset = 0;
    length = 0;
}

const uint8_t *KelAudioFrame::payload() const
{
    if (offset < 0 || length < 0 || size_t(offset) + size_t(length) > data.size())
        return nullptr;
    return data.data() + offset;
}

int KelAudioFrame::serialize(uint8_t *dst, int position, int capacity) const
{
    if (length < 0 || (length > 0 && !payload()))
        return -1;
    const int wire = length + HeaderSize;
    if (capacity < wire || !dst || position < 0)
        return wire;
    uint8_t *p = dst + position;
    p[0] = uint8_t(codec & 0xFF);
    p[1] = uint8_t(channels & 0xFF);
    p[2] = uint8_t((sampleRate >> 8) & 0xFF);
    p[3] = uint8_t(sampleRate & 0xFF);
    p[4] = uint8_t(timestamp >> 24);
    p[5] = uint8_t(timestamp >> 16);
    p[6] = uint8_t(timestamp >> 8);
    p[7] = uint8_t(timestamp);
    if (length > 0)
        std::memcpy(p + HeaderSize, payload(), size_t(length));
    return wire;
}

int KelAudioFrame::serialize(std::vector<uint8_t> &dst, int position, int capacity) const
{
    if (position < 0 || size_t(position) + size_t(capacity > 0 ? capacity : 0) > dst.size())
        capacity = 0; // never write past the vector
    return serialize(dst.data(), position, capacity);
}

bool KelAudioFrame::parse(const uint8_t *src, int position, int total)
{
    if (!src || position < 0 || total < HeaderSize)
        return false;
    const uint8_t *p = src + position;
    readHeader(p, *this);
    data.assign(p + HeaderSize, p + total);
    offset = 0;
    length = total - HeaderSize;
    return true;
}

bool KelAudioFrame::parse(const std::vector<uint8_t> &src, int position, int total)
{
    if (position < 0 || total < HeaderSize || size_t(position) + size_t(total) > src.size())
        return false;
    readHeader(src.data() + position, *this);
    data = src;
    offset = position + HeaderSize;
    length = total - HeaderSize;
    return true;
}
