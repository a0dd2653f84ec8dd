#pragma once

#include <cstdint>
#include <vector>

// One queued item of a P2P session: a message (kind 1) or an audio frame in
// its wire form (kind 2).
struct TUTKSendItem {
    enum Kind : int32_t { Message = 1, Audio = 2 };
    int32_t kind = Message;
    std::vector<uint8_t> payload;
    int32_t offset = 0;
    int32_t length = 0;
};
