#pragma once

#include <cstdint>

// Output record of avServStartEx: 272 bytes. The caller sets `size`; a
// successful start fills the rest.
struct AVServStartOutConfig {
    uint32_t size;          // 0: sizeof(AVServStartOutConfig)
    uint32_t resend;        // 4: 1, messages are delivered reliably
    uint32_t twoWayAudio;   // 8: 1, audio flows both ways
    uint32_t clientChannel; // 12: the channel the client started on
    uint8_t reserved[256];
};

static_assert(sizeof(AVServStartOutConfig) == 272, "the start result record is 272 bytes");
