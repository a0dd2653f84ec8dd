#include "WSFrame.h"
#include "WSFrameParser.h"
#include "WSHandshake.h"
#include "WSMessageAssembler.h"

#include <gtest/gtest.h>

namespace {

std::vector<uint8_t> bytes(const std::string &s)
{
    return std::vector<uint8_t>(s.begin(), s.end());
}

// A client frame with a fixed key, built by hand so the parser is checked
// against literal wire bytes and not against our own encoder.
std::string clientFrame(int opcode, const std::string &payload, bool fin = true)
{
    const uint8_t key[4] = {0x37, 0xfa, 0x21, 0x3d};
    std::string f;
    f.push_back(char((fin ? 0x80 : 0) | opcode));
    if (payload.size() < 126) {
        f.push_back(char(0x80 | payload.size()));
    } else {
        f.push_back(char(0x80 | 126));
        f.push_back(char(payload.size() >> 8));
        f.push_back(char(payload.size() & 0xFF));
    }
    f.append(reinterpret_cast<const char *>(key), 4);
    for (size_t i = 0; i < payload.size(); ++i)
        f.push_back(char(uint8_t(payload[i]) ^ key[i & 3]));
    return f;
}

WSFrameParser::Result parseString(const WSFrameParser &p, const std::string &s, WSFrameParser::Frame &f)
{
    return p.parse(reinterpret_cast<const uint8_t *>(s.data()), s.size(), f);
}

} // namespace

TEST(WSFrameParser, Rfc6455MaskedHelloAndEveryPrefixNeedsMore)
{
    // RFC 6455 section 5.7: a single-frame masked text message "Hello".
    const std::string wire("\x81\x85\x37\xfa\x21\x3d\x7f\x9f\x4d\x51\x58", 11);
    WSFrameParser parser;
    WSFrameParser::Frame f;
    for (size_t n = 0; n < wire.size(); ++n) {
        auto r = parser.parse(reinterpret_cast<const uint8_t *>(wire.data()), n, f);
        EXPECT_EQ(r.status, WSFrameParser::Status::NeedMore) << n;
    }
    const std::string two = wire + clientFrame(WSFrame::Ping, "x");
    auto r = parseString(parser, two, f);
    ASSERT_EQ(r.status, WSFrameParser::Status::Ok);
    EXPECT_EQ(r.consumed, wire.size());
    EXPECT_TRUE(f.fin);
    EXPECT_EQ(f.opcode, 1);
    EXPECT_EQ(f.payload, bytes("Hello"));
    // The next frame starts right behind the consumed bytes.
    r = parser.parse(reinterpret_cast<const uint8_t *>(two.data()) + r.consumed, two.size() - r.consumed, f);
    ASSERT_EQ(r.status, WSFrameParser::Status::Ok);
    EXPECT_EQ(f.opcode, WSFrame::Ping);
}

TEST(WSFrameParser, RefusesBadFramesWithoutBufferingThem)
{
    struct Case {
        const char *name;
        std::string wire;
        uint16_t code;
    };
    std::string len64 = std::string("\x82\xFF", 2) + std::string("\x80\0\0\0\0\0\0\x01", 8);   // top bit set
    std::string len4g = std::string("\x82\xFF", 2) + std::string("\0\0\0\x01\0\0\0\0", 8);     // 4 GiB
    std::string len17m = std::string("\x82\xFF", 2) + std::string("\0\0\0\0\x01\x10\0\0", 8);  // 17 MiB
    std::string len2g = std::string("\x82\xFF", 2) + std::string("\0\0\0\0\x80\0\0\0", 8);    // 2^31
    const Case cases[] = {
        {"unmasked client frame", std::string("\x81\x05Hello", 7), WSFrameParser::CloseProtocolError},
        {"64-bit length, top bit", len64, WSFrameParser::CloseProtocolError},
        {"4 GiB", len4g, WSFrameParser::CloseTooBig},
        {"17 MiB", len17m, WSFrameParser::CloseTooBig},
        {"2^31", len2g, WSFrameParser::CloseTooBig},
        {"16-bit length over cap", std::string("\x82\xFE\xFF\xFF", 4), WSFrameParser::CloseTooBig},
        {"ping of 126 bytes", clientFrame(WSFrame::Ping, std::string(126, 'p')), WSFrameParser::CloseProtocolError},
        {"fragmented ping", clientFrame(WSFrame::Ping, "p", false), WSFrameParser::CloseProtocolError},
    };
    WSFrameParser parser(60000);
    for (const Case &c : cases) {
        WSFrameParser::Frame f;
        std::string w = c.wire;
        if (w.size() > 1 && c.code == WSFrameParser::CloseTooBig)
            w[1] = char(uint8_t(w[1]) | 0x80); // masked, so the length is what fails
        const auto r = parseString(parser, w, f);
        EXPECT_EQ(r.status, WSFrameParser::Status::Bad) << c.name;
        EXPECT_EQ(r.closeCode, c.code) << c.name;
    }
}

TEST(WSFrame, EncodeLengthFormsAndMaskRoundTrip)
{
    struct Case {
        size_t size;
        std::vector<uint8_t> lengthBytes;
    };
    const Case cases[] = {
        {0, {0x00}},
        {125, {125}},
        {126, {126, 0x00, 126}},
        {200, {126, 0x00, 0xC8}},
        {65535, {126, 0xFF, 0xFF}},
        {65536, {127, 0, 0, 0, 0, 0, 1, 0, 0}},
    };
    for (const Case &c : cases) {
        std::string payload(c.size, '\0');
        for (size_t i = 0; i < c.size; ++i)
            payload[i] = char(i * 7);
        const std::string plain = WSFrame::encode(WSFrame::Binary, payload, false);
        EXPECT_EQ(uint8_t(plain[0]), 0x82);
        EXPECT_EQ(std::vector<uint8_t>(plain.begin() + 1, plain.begin() + 1 + long(c.lengthBytes.size())),
                  c.lengthBytes)
            << c.size;
        EXPECT_EQ(plain.size(), 1 + c.lengthBytes.size() + c.size);

        const std::string masked = WSFrame::encode(WSFrame::Binary, payload, true);
        EXPECT_EQ(uint8_t(masked[1]), uint8_t(c.lengthBytes[0] | 0x80));
        EXPECT_EQ(masked.size(), plain.size() + 4);

        // Both decode back to the payload with a parser that allows them.
        WSFrameParser lenient(1 << 20, false);
        for (const std::string *w : {&plain, &masked}) {
            WSFrameParser::Frame f;
            const auto r = parseString(lenient, *w, f);
            ASSERT_EQ(r.status, WSFrameParser::Status::Ok) << c.size;
            EXPECT_EQ(r.consumed, w->size());
            EXPECT_EQ(f.payload, bytes(payload));
        }
    }
}

TEST(WSMessageAssembler, FragmentsControlInterleavingAndCaps)
{
    WSFrameParser parser;
    WSMessageAssembler asmb(16);
    auto feed = [&](const std::string &wire) {
        WSFrameParser::Frame f;
        const auto r = parseString(parser, wire, f);
        EXPECT_EQ(r.status, WSFrameParser::Status::Ok);
        return asmb.add(std::move(f));
    };

    // A text message in three frames with a ping between the fragments.
    EXPECT_EQ(feed(clientFrame(WSFrame::Text, "ab", false)).kind, WSMessageAssembler::Kind::None);
    auto ping = feed(clientFrame(WSFrame::Ping, "hi"));
    EXPECT_EQ(ping.kind, WSMessageAssembler::Kind::Control);
    EXPECT_EQ(ping.opcode, WSFrame::Ping);
    EXPECT_EQ(feed(clientFrame(WSFrame::Continuation, "cd", false)).kind, WSMessageAssembler::Kind::None);
    auto msg = feed(clientFrame(WSFrame::Continuation, "ef"));
    EXPECT_EQ(msg.kind, WSMessageAssembler::Kind::Message);
    EXPECT_EQ(msg.opcode, WSFrame::Text);
    EXPECT_EQ(msg.payload, bytes("abcdef"));

    // Continuation frames cannot grow a message past the cap.
    EXPECT_EQ(feed(clientFrame(WSFrame::Binary, "0123456789", false)).kind, WSMessageAssembler::Kind::None);
    auto big = feed(clientFrame(WSFrame::Continuation, "0123456789", false));
    EXPECT_EQ(big.kind, WSMessageAssembler::Kind::Bad);
    EXPECT_EQ(big.closeCode, WSFrameParser::CloseTooBig);

    // Text must be UTF-8; binary need not be.
    asmb.reset();
    auto badText = feed(clientFrame(WSFrame::Text, "a\xC0\xAF"));
    EXPECT_EQ(badText.kind, WSMessageAssembler::Kind::Bad);
    EXPECT_EQ(badText.closeCode, WSFrameParser::CloseInvalidPayload);
    EXPECT_EQ(feed(clientFrame(WSFrame::Binary, "a\xC0\xAF")).kind, WSMessageAssembler::Kind::Message);
    // A one-byte close body is malformed.
    EXPECT_EQ(feed(clientFrame(WSFrame::Close, "x")).kind, WSMessageAssembler::Kind::Bad);
}

TEST(WSMessageAssembler, Utf8Validation)
{
    struct Case {
        std::string s;
        bool ok;
    };
    const Case cases[] = {
        {"", true},
        {"plain ascii", true},
        {"\xC3\xA9", true},           // é
        {"\xE4\xB8\xAD\xE6\x96\x87", true},
        {"\xF0\x9F\x98\x80", true},   // U+1F600
        {"\xC0\x80", false},          // overlong NUL
        {"\xE0\x80\xAF", false},      // overlong
        {"\xED\xA0\x80", false},      // surrogate
        {"\xF4\x90\x80\x80", false},  // past U+10FFFF
        {"\xE4\xB8", false},          // truncated
        {"\x80", false},              // stray continuation
        {"\xFF", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(WSMessageAssembler::isValidUtf8(reinterpret_cast<const uint8_t *>(c.s.data()), c.s.size()), c.ok)
            << c.s;
}

TEST(WSHandshake, AcceptValueAndUpgradeChecks)
{
    // RFC 6455 section 1.3.
    EXPECT_EQ(WSHandshake::acceptValue("dGhlIHNhbXBsZSBub25jZQ=="), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");

    const std::string head = "GET /chat HTTP/1.1\r\n"
                             "Host: server.example.com\r\n"
                             "Upgrade: WebSocket\r\n"
                             "Connection: upgrade\r\n"
                             "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                             "Bogus line without colon\r\n"
                             "Empty:\r\n"
                             "Sec-WebSocket-Version: 13\r\n\r\n";
    size_t n = 0;
    ASSERT_EQ(WSHandshake::findHead(head + "trailing", n), WSHandshake::Status::Ok);
    EXPECT_EQ(n, head.size());
    EXPECT_EQ(WSHandshake::findHead(head.substr(0, head.size() - 1), n), WSHandshake::Status::NeedMore);
    auto headers = WSHandshake::parseHeaders(head);
    EXPECT_EQ(headers["Sec-WebSocket-Key"], "dGhlIHNhbXBsZSBub25jZQ==");
    EXPECT_EQ(headers.count("Empty"), 0u);
    EXPECT_TRUE(WSHandshake::isUpgradeRequest(headers));

    auto h2 = headers;
    h2["Connection"] = "keep-alive, Upgrade";
    EXPECT_FALSE(WSHandshake::isUpgradeRequest(h2));
    auto h3 = headers;
    h3.erase("Upgrade");
    h3["upgrade"] = "websocket";
    EXPECT_FALSE(WSHandshake::isUpgradeRequest(h3));

    // A head that never ends is refused once it passes the cap.
    EXPECT_EQ(WSHandshake::findHead(std::string(WSHandshake::MaxHeadSize, 'a'), n), WSHandshake::Status::Bad);

    const std::string resp = WSHandshake::response("abc=");
    EXPECT_EQ(resp, "HTTP/1.1 101 Switching Protocols\r\nUpgrade: WebSocket\r\nConnection: Upgrade\r\n"
                    "Sec-WebSocket-Accept: abc=\r\n\r\n");
}
