#include "RDStringHelper.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {
const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void appendUtf8(std::string &out, uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

uint32_t rotl(uint32_t v, int n)
{
    return (v << n) | (v >> (32 - n));
}

void sha1Block(uint32_t h[5], const uint8_t *block)
{
    uint32_t w[80];
    for (int i = 0; i < 16; ++i)
        w[i] = (uint32_t(block[4 * i]) << 24) | (uint32_t(block[4 * i + 1]) << 16)
            | (uint32_t(block[4 * i + 2]) << 8) | uint32_t(block[4 * i + 3]);
    for (int i = 16; i < 80; ++i)
        w[i] = rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    for (int i = 0; i < 80; ++i) {
        uint32_t f, k;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        const uint32_t t = rotl(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = rotl(b, 30);
        b = a;
        a = t;
    }
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
    h[4] += e;
}
} // namespace

std::string bytesToString(const void *data, int length)
{
    if (!data || length < 1)
        return std::string();
    return std::string(static_cast<const char *>(data), static_cast<size_t>(length));
}

int strCompare(const std::string &a, const std::string &b)
{
    const size_t n = std::min(a.size(), b.size());
    const int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
    if (c != 0)
        return c < 0 ? -1 : 1;
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

int strCaseCompare(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    for (size_t i = 0; i < a.size(); ++i) {
        const int ca = std::toupper(static_cast<unsigned char>(a[i]));
        const int cb = std::toupper(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca - cb;
    }
    return 0;
}

int findString(const std::string &text, const std::string &needle, int start)
{
    if (start < 0)
        start = 0;
    if (needle.empty())
        return start;
    if (static_cast<size_t>(start) >= text.size() || text.size() - start < needle.size())
        return -1;
    const size_t pos = text.find(needle, static_cast<size_t>(start));
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

bool startsWith(const std::string &text, const std::string &prefix)
{
    return findString(text, prefix, 0) == 0;
}

bool endsWith(const std::string &text, const std::string &suffix)
{
    return text.size() >= suffix.size()
        && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string lastPathPart(const std::string &path)
{
    const size_t pos = path.rfind('/');
    return pos == std::string::npos ? path : path.substr(pos);
}

std::string joinPath(const std::string &a, const std::string &b)
{
    const bool aSlash = !a.empty() && a.back() == '/';
    const bool bSlash = !b.empty() && b.front() == '/';
    if (aSlash && bSlash)
        return a + b.substr(1);
    if (aSlash || bSlash)
        return a + b;
    return a + "/" + b;
}

std::vector<std::string> splitString(const std::string &text, const std::string &delimiter, int limit)
{
    std::vector<std::string> pieces;
    if (delimiter.empty()) {
        pieces.push_back(text);
        return pieces;
    }
    size_t from = 0;
    for (;;) {
        if (limit >= 1 && pieces.size() >= static_cast<size_t>(limit))
            return pieces;
        const size_t pos = text.find(delimiter, from);
        if (pos == std::string::npos)
            break;
        pieces.push_back(text.substr(from, pos - from));
        from = pos + delimiter.size();
    }
    pieces.push_back(text.substr(from));
    return pieces;
}

void trimString(std::string &text)
{
    static const char kBlank[] = " \r\n";
    const size_t first = text.find_first_not_of(kBlank);
    if (first == std::string::npos) {
        text.clear();
        return;
    }
    const size_t last = text.find_last_not_of(kBlank);
    text = text.substr(first, last - first + 1);
}

std::string urlDecode(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::wstring utf8ToWide(const std::string &text, bool *ok)
{
    std::wstring out;
    out.reserve(text.size());
    const auto *s = reinterpret_cast<const unsigned char *>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        uint32_t cp;
        size_t len;
        uint32_t min;
        if (c < 0x80) {
            cp = c;
            len = 1;
            min = 0;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            len = 2;
            min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            len = 3;
            min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            len = 4;
            min = 0x10000;
        } else {
            if (ok)
                *ok = false;
            return std::wstring();
        }
        if (i + len > n) {
            if (ok)
                *ok = false;
            return std::wstring();
        }
        for (size_t k = 1; k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) {
                if (ok)
                    *ok = false;
                return std::wstring();
            }
            cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            if (ok)
                *ok = false;
            return std::wstring();
        }
        out += static_cast<wchar_t>(cp);
        i += len;
    }
    if (ok)
        *ok = true;
    return out;
}

std::string wideToUtf8(const std::wstring &text, bool *ok)
{
    std::string out;
    out.reserve(text.size());
    for (const wchar_t wc : text) {
        const uint32_t cp = static_cast<uint32_t>(wc);
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            if (ok)
                *ok = false;
            return std::string();
        }
        appendUtf8(out, cp);
    }
    if (ok)
        *ok = true;
    return out;
}

std::string base64Encode(const void *data, int length)
{
    std::string out;
    if (!data || length < 1)
        return out;
    const auto *s = static_cast<const uint8_t *>(data);
    out.reserve((static_cast<size_t>(length) + 2) / 3 * 4);
    int i = 0;
    for (; i + 2 < length; i += 3) {
        const uint32_t v = (uint32_t(s[i]) << 16) | (uint32_t(s[i + 1]) << 8) | s[i + 2];
        out += kBase64Alphabet[(v >> 18) & 63];
        out += kBase64Alphabet[(v >> 12) & 63];
        out += kBase64Alphabet[(v >> 6) & 63];
        out += kBase64Alphabet[v & 63];
    }
    const int rest = length - i;
    if (rest == 1) {
        const uint32_t v = uint32_t(s[i]) << 16;
        out += kBase64Alphabet[(v >> 18) & 63];
        out += kBase64Alphabet[(v >> 12) & 63];
        out += "==";
    } else if (rest == 2) {
        const uint32_t v = (uint32_t(s[i]) << 16) | (uint32_t(s[i + 1]) << 8);
        out += kBase64Alphabet[(v >> 18) & 63];
        out += kBase64Alphabet[(v >> 12) & 63];
        out += kBase64Alphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

std::string base64Encode(const std::string &data)
{
    return base64Encode(data.data(), static_cast<int>(data.size()));
}

int sha1(const void *data, int length, uint8_t digest[20])
{
    if (!digest || length < 0 || (length > 0 && !data))
        return 1;
    uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    const auto *s = static_cast<const uint8_t *>(data);
    const size_t n = static_cast<size_t>(length);
    size_t off = 0;
    for (; off + 64 <= n; off += 64)
        sha1Block(h, s + off);

    // Padding (RFC 3174 section 4): 0x80, zeros to 56 mod 64, then the
    // message length in bits as a big-endian 64-bit number.
    uint8_t tail[128] = {0};
    const size_t rest = n - off;
    if (rest)
        std::memcpy(tail, s + off, rest);
    tail[rest] = 0x80;
    const size_t tailLen = rest < 56 ? 64 : 128;
    const uint64_t bits = static_cast<uint64_t>(n) * 8;
    for (int i = 0; i < 8; ++i)
        tail[tailLen - 1 - i] = static_cast<uint8_t>(bits >> (8 * i));
    for (size_t b = 0; b < tailLen; b += 64)
        sha1Block(h, tail + b);

    for (int i = 0; i < 5; ++i) {
        digest[4 * i] = static_cast<uint8_t>(h[i] >> 24);
        digest[4 * i + 1] = static_cast<uint8_t>(h[i] >> 16);
        digest[4 * i + 2] = static_cast<uint8_t>(h[i] >> 8);
        digest[4 * i + 3] = static_cast<uint8_t>(h[i]);
    }
    return 0;
}
