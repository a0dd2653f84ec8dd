#include "SipString.h"

#include <cstdlib>
#include <cstring>

bool SipString::isEmpty(const char *s)
{
    return s == nullptr || s[0] == '\0';
}

int SipString::compare(const char *a, const char *b)
{
    if (a == nullptr || b == nullptr) {
        return (a == nullptr ? 0 : 1) - (b == nullptr ? 0 : 1);
    }
    return std::strcmp(a, b);
}

static unsigned char foldUpper(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

int SipString::caseCompare(const char *a, const char *b)
{
    const unsigned char *pa = reinterpret_cast<const unsigned char *>(a ? a : "");
    const unsigned char *pb = reinterpret_cast<const unsigned char *>(b ? b : "");
    for (;; ++pa, ++pb) {
        const int ca = foldUpper(*pa);
        const int cb = foldUpper(*pb);
        if (ca != cb || ca == 0) {
            return ca - cb;
        }
    }
}

bool SipString::equal(const char *a, const char *b)
{
    return std::strcmp(a ? a : "", b ? b : "") == 0;
}

char *SipString::duplicate(const char *s)
{
    if (s == nullptr) {
        return nullptr;
    }
    const size_t n = std::strlen(s) + 1;
    char *copy = static_cast<char *>(std::malloc(n));
    if (copy) {
        std::memcpy(copy, s, n);
    }
    return copy;
}

void SipString::clear(char **field)
{
    if (field && *field) {
        std::free(*field);
        *field = nullptr;
    }
}

void SipString::assign(char **field, const char *value)
{
    if (!field || *field == value) {
        return;
    }
    char *copy = duplicate(value);
    clear(field);
    *field = copy;
}
