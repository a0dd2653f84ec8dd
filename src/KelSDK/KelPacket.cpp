#include "KelPacket.h"

KelPacket::KelPacket(const void *bytes, int size)
{
    if (bytes && size > 0) {
        const auto *p = static_cast<const uint8_t *>(bytes);
        data.assign(p, p + size);
        length = size;
    }
}

KelPacket::KelPacket(std::vector<uint8_t> bytes, int offset_, int length_)
    : data(std::move(bytes)), offset(offset_), length(length_)
{
}

const uint8_t *KelPacket::bytes() const
{
    if (offset < 0 || length < 0 || size_t(offset) + size_t(length) > data.size())
        return nullptr;
    return data.data() + offset;
}

int KelPacket::size() const
{
    return bytes() ? length : 0;
}

std::string KelPacket::toString() const
{
    const uint8_t *p = bytes();
    return p ? std::string(reinterpret_cast<const char *>(p), size_t(length)) : std::string();
}
