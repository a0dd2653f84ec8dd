#include "WSMessageAssembler.h"

#include "WSFrame.h"

WSMessageAssembler::WSMessageAssembler(size_t maxMessage) : m_maxMessage(maxMessage)
{
}

void WSMessageAssembler::reset()
{
    m_open = false;
    m_opcode = -1;
    m_payload.clear();
    m_payload.shrink_to_fit();
}

WSMessageAssembler::Event WSMessageAssembler::add(WSFrameParser::Frame &&frame)
{
    Event ev;
    const int op = frame.opcode;
    if (op == WSFrame::Close || op == WSFrame::Ping || op == WSFrame::Pong) {
        // A close body is empty or a 2-byte status followed by UTF-8 text
        // (section 5.5.1).
        if (op == WSFrame::Close && (frame.payload.size() == 1 ||
                                     (frame.payload.size() > 2 &&
                                      !isValidUtf8(frame.payload.data() + 2, frame.payload.size() - 2)))) {
            ev.kind = Kind::Bad;
            ev.closeCode = WSFrameParser::CloseProtocolError;
            return ev;
        }
        ev.kind = Kind::Control;
        ev.opcode = op;
        ev.payload = std::move(frame.payload);
        return ev;
    }
    if (op != WSFrame::Continuation && op != WSFrame::Text && op != WSFrame::Binary)
        return ev; // reserved opcodes carry nothing we understand

    if (!m_open) {
        m_open = true;
        m_opcode = op;
        m_payload.clear();
    }
    if (m_payload.size() + frame.payload.size() > m_maxMessage) {
        reset();
        ev.kind = Kind::Bad;
        ev.closeCode = WSFrameParser::CloseTooBig;
        return ev;
    }
    m_payload.insert(m_payload.end(), frame.payload.begin(), frame.payload.end());
    if (!frame.fin)
        return ev;

    ev.opcode = m_opcode;
    ev.payload = std::move(m_payload);
    m_payload = {};
    m_open = false;
    m_opcode = -1;
    if (ev.opcode == WSFrame::Text && !isValidUtf8(ev.payload.data(), ev.payload.size())) {
        ev.kind = Kind::Bad;
        ev.closeCode = WSFrameParser::CloseInvalidPayload;
        ev.payload.clear();
        return ev;
    }
    ev.kind = Kind::Message;
    return ev;
}

bool WSMessageAssembler::isValidUtf8(const uint8_t *s, size_t n)
{
    // RFC 3629 section 4: no overlong forms, no surrogates, nothing past U+10FFFF.
    size_t i = 0;
    while (i < n) {
        const uint8_t c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t extra;
        uint8_t lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if (c == 0xE0) {
            extra = 2;
            lo = 0xA0;
        } else if ((c >= 0xE1 && c <= 0xEC) || c == 0xEE || c == 0xEF) {
            extra = 2;
        } else if (c == 0xED) {
            extra = 2;
            hi = 0x9F;
        } else if (c == 0xF0) {
            extra = 3;
            lo = 0x90;
        } else if (c >= 0xF1 && c <= 0xF3) {
            extra = 3;
        } else if (c == 0xF4) {
            extra = 3;
            hi = 0x8F;
        } else {
            return false;
        }
        if (n - i <= extra)
            return false;
        if (s[i + 1] < lo || s[i + 1] > hi)
            return false;
        for (size_t k = 2; k <= extra; ++k) {
            if (s[i + k] < 0x80 || s[i + k] > 0xBF)
                return false;
        }
        i += extra + 1;
    }
    return true;
}
