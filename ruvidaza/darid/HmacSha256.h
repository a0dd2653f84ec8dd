#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// SHA-256 (FIPS 180-4) and HMAC-SHA256 (RFC 2104), self-contained so the
// console client loads no crypto library: its start-up time is the cost of
// every console command the program runs.
class HmacSha256
{
public:
    // Lower-case hex of HMAC-SHA256(key, message).
    static std::string hex(const std::string &key, const std::string &message);
    // Raw 32-byte SHA-256 digest.
    static std::string sha256(const std::string &data);
};
