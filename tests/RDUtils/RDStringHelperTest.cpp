#include "RDStringHelper.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {
std::string hex(const uint8_t *d, int n)
{
    static const char k[] = "0123456789abcdef";
    std::string s;
    for (int i = 0; i < n; ++i) {
        s += k[d[i] >> 4];
        s += k[d[i] & 15];
    }
    return s;
}

std::string sha1Hex(const std::string &msg)
{
    uint8_t d[20];
    EXPECT_EQ(sha1(msg.data(), static_cast<int>(msg.size()), d), 0);
    return hex(d, 20);
}
} // namespace

TEST(RDStringHelper, BytesAndComparisons)
{
    const char raw[] = {'a', '\0', 'b'};
    EXPECT_EQ(bytesToString(raw, 3), std::string(raw, 3));
    EXPECT_EQ(bytesToString(raw, 0), "");
    EXPECT_EQ(bytesToString(raw, -1), "");

    EXPECT_EQ(strCompare("abc", "abc"), 0);
    EXPECT_LT(strCompare("ab", "abc"), 0);
    EXPECT_GT(strCompare("abd", "abc"), 0);
    EXPECT_LT(strCompare("ABC", "abc"), 0);

    EXPECT_EQ(strCaseCompare("GET", "get"), 0);
    EXPECT_NE(strCaseCompare("GET", "GETS"), 0);
    EXPECT_NE(strCaseCompare("GET", "PUT"), 0);
    EXPECT_EQ(strCaseCompare("", ""), 0);
}

TEST(RDStringHelper, FindStartsEnds)
{
    EXPECT_EQ(findString("hello world", "o", 0), 4);
    EXPECT_EQ(findString("hello world", "o", 5), 7);
    EXPECT_EQ(findString("hello world", "z", 0), -1);
    EXPECT_EQ(findString("ab", "abc", 0), -1);
    EXPECT_EQ(findString("abc", "c", 3), -1);
    EXPECT_EQ(findString("abc", "", 2), 2);

    EXPECT_TRUE(startsWith("/stream/3000", "/stream"));
    EXPECT_FALSE(startsWith("/x/stream", "/stream"));
    EXPECT_TRUE(startsWith("abc", ""));
    EXPECT_TRUE(endsWith("song.mp3", ".mp3"));
    EXPECT_FALSE(endsWith("mp3", ".mp3"));
    EXPECT_TRUE(endsWith("abc", ""));
}

TEST(RDStringHelper, PathParts)
{
    EXPECT_EQ(lastPathPart("a/b/c.txt"), "/c.txt");
    EXPECT_EQ(lastPathPart("c.txt"), "c.txt");
    EXPECT_EQ(lastPathPart("dir/"), "/");

    const struct { const char *a, *b, *joined; } cases[] = {
        {"dir/", "/x", "dir/x"}, {"dir", "x", "dir/x"}, {"dir/", "x", "dir/x"},
        {"dir", "/x", "dir/x"}, {"", "x", "/x"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(joinPath(c.a, c.b), c.joined) << c.a << " + " << c.b;
}

TEST(RDStringHelper, SplitAndTrim)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(splitString("a,b,,c,", ",", 0), (V {"a", "b", "", "c", ""}));
    EXPECT_EQ(splitString("a,b,,c,", ",", 2), (V {"a", "b"}));
    EXPECT_EQ(splitString("a,b", ",", 5), (V {"a", "b"}));
    EXPECT_EQ(splitString("k\r\nv\r\n", "\r\n", -1), (V {"k", "v", ""}));
    EXPECT_EQ(splitString("", ",", 0), (V {""}));
    EXPECT_EQ(splitString("abc", "", 0), (V {"abc"}));

    std::string s = " \r\nx y \n";
    trimString(s);
    EXPECT_EQ(s, "x y");
    s = " \r\n ";
    trimString(s);
    EXPECT_EQ(s, "");
    s = "\tx";
    trimString(s);
    EXPECT_EQ(s, "\tx") << "only blank, CR and LF are trimmed";
}

TEST(RDStringHelper, UrlDecodeTakesOnlyWellFormedEscapes)
{
    const struct { const char *in, *out; } cases[] = {
        {"a+b%2Fc%2f", "a b/c/"}, {"%41", "A"}, {"%e4%B8%ad", "\xE4\xB8\xAD"},
        {"%G0", "%G0"}, {"%zz", "%zz"}, {"%4", "%4"}, {"a%", "a%"}, {"%%41", "%A"},
        {"100%", "100%"}, {"", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(urlDecode(c.in), c.out) << c.in;
    // A real NUL can still be asked for explicitly; path users must refuse it.
    EXPECT_EQ(urlDecode("a%00b"), std::string("a\0b", 3));
}

TEST(RDStringHelper, WideConversionRoundTripsAndRefusesBadInput)
{
    const std::string text = "Gr\xC3\xBC\xC3\x9F" "e \xE4\xB8\xAD \xF0\x9F\x94\x8A";
    bool ok = false;
    const std::wstring w = utf8ToWide(text, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(w, L"Gr\u00FC\u00DFe \u4E2D \U0001F50A");
    EXPECT_EQ(wideToUtf8(w, &ok), text);
    EXPECT_TRUE(ok);

    for (const char *bad : {"\xFF", "\xC3", "\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "a\x80"}) {
        ok = true;
        EXPECT_EQ(utf8ToWide(bad, &ok), L"");
        EXPECT_FALSE(ok);
    }
    ok = true;
    EXPECT_EQ(wideToUtf8(std::wstring(1, static_cast<wchar_t>(0xD800)), &ok), "");
    EXPECT_FALSE(ok);
    EXPECT_EQ(wideToUtf8(std::wstring(1, static_cast<wchar_t>(0x110000)), &ok), "");
}

TEST(RDStringHelper, Base64MatchesRfc4648)
{
    // RFC 4648 section 10 test vectors.
    const struct { const char *in, *out; } cases[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(base64Encode(std::string(c.in)), c.out) << c.in;
    const uint8_t high[] = {0xFB, 0xFF, 0xBF};
    EXPECT_EQ(base64Encode(high, 3), "+/+/");
    uint8_t twenty[20];
    std::memset(twenty, 0xAB, sizeof(twenty));
    const std::string enc = base64Encode(twenty, 20);
    EXPECT_EQ(enc.size(), 28u);
    EXPECT_EQ(enc.back(), '=');
    EXPECT_NE(enc[26], '=');
    EXPECT_EQ(base64Encode(nullptr, 5), "");
}

TEST(RDStringHelper, Sha1MatchesRfc3174)
{
    EXPECT_EQ(sha1Hex(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(sha1Hex("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(sha1Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    EXPECT_EQ(sha1Hex(std::string(1000000, 'a')), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
    // Lengths around the padding boundary (55, 56, 63, 64 bytes).
    EXPECT_EQ(sha1Hex(std::string(55, 'a')), "c1c8bbdc22796e28c0e15163d20899b65621d65a");
    EXPECT_EQ(sha1Hex(std::string(56, 'a')), "c2db330f6083854c99d4b5bfb6e8f29f201be699");
    EXPECT_EQ(sha1Hex(std::string(64, 'a')), "0098ba824b5c16427bd7a1122a5a442a25ec644d");

    // The WebSocket accept key of RFC 6455 section 1.3.
    const std::string key = std::string("dGhlIHNhbXBsZSBub25jZQ==") + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
    uint8_t d[20];
    ASSERT_EQ(sha1(key.data(), static_cast<int>(key.size()), d), 0);
    EXPECT_EQ(base64Encode(d, 20), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");

    EXPECT_NE(sha1(nullptr, 3, d), 0);
    EXPECT_NE(sha1("abc", 3, nullptr), 0);
    EXPECT_EQ(sha1(nullptr, 0, d), 0);
}
