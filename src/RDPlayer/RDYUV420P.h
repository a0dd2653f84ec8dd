#pragma once

#include "RDYUVData.h"

#include <cstdint>
#include <vector>

// One picture in planar 4:2:0, tightly packed. The chroma planes are
// chromaWidth() x chromaHeight(), halves rounded up, so odd sizes keep
// their last column and row.
class RDYUV420P : public RDYUVData
{
public:
    // Copies the planes. Without line sizes the planes are read as tightly
    // packed; with them, row by row.
    RDYUV420P(const uint8_t *y, const uint8_t *u, const uint8_t *v, int width, int height,
              const int *lineSizes = nullptr);

    int width() const { return m_width; }
    int height() const { return m_height; }
    int chromaWidth() const { return (m_width + 1) / 2; }
    int chromaHeight() const { return (m_height + 1) / 2; }
    double time() const { return m_time; }
    void setTime(double time) { m_time = time; }

    const uint8_t *y() const { return m_y.data(); }
    const uint8_t *u() const { return m_u.data(); }
    const uint8_t *v() const { return m_v.data(); }

private:
    int m_width;
    int m_height;
    double m_time = 0.0;
    std::vector<uint8_t> m_y;
    std::vector<uint8_t> m_u;
    std::vector<uint8_t> m_v;
};
