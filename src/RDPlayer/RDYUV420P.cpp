#include "RDYUV420P.h"

#include <algorithm>
#include <cstring>

namespace {

void copyPlane(std::vector<uint8_t> &target, const uint8_t *source, int width, int height, int lineSize)
{
    target.assign(size_t(width) * size_t(height), 0);
    if (!source)
        return;
    const int rowBytes = std::min(lineSize, width);
    if (rowBytes <= 0)
        return;
    for (int row = 0; row < height; ++row)
        std::memcpy(target.data() + size_t(row) * size_t(width), source + size_t(row) * size_t(lineSize),
                    size_t(rowBytes));
}

} // namespace

RDYUV420P::RDYUV420P(const uint8_t *y, const uint8_t *u, const uint8_t *v, int width, int height,
                     const int *lineSizes)
    : m_width(std::max(width, 0)), m_height(std::max(height, 0))
{
    const int cw = chromaWidth();
    const int ch = chromaHeight();
    copyPlane(m_y, y, m_width, m_height, lineSizes ? lineSizes[0] : m_width);
    copyPlane(m_u, u, cw, ch, lineSizes ? lineSizes[1] : cw);
    copyPlane(m_v, v, cw, ch, lineSizes ? lineSizes[2] : cw);
}
