#pragma once

// Wire format between the console client and the switch, shared by both ends.
//
// The switch listens on 127.0.0.1 only and writes "run/console" (port and pid)
// once it is ready; "run/secret" holds the installation's console secret,
// created at the switch's first start (mode 0600 in a 0700 folder).
//
// Every message is one frame: a 4-byte big-endian length, then that many bytes
// of UTF-8. The conversation is fixed:
//   switch -> client  "hello <nonce hex>"
//   client -> switch  "auth <hex HMAC-SHA256(secret, nonce hex)>"
//   client -> switch  "cmd <command text>"
//   switch -> client  <answer text>, then the switch closes.
// A failed authentication is closed without an answer. One command per
// connection, so a newline inside a command never starts a second command.

#include <cstdint>
#include <string>

namespace ConsoleProtocol {

constexpr uint32_t kMaxFrame = 1u << 20;
constexpr const char *kRunFolder = "run";
constexpr const char *kRunFile = "console";
constexpr const char *kSecretFile = "secret";
constexpr const char *kLockFile = "switch.lock";

// Encodes a frame header for a payload of `size` bytes.
inline std::string frameHeader(uint32_t size)
{
    std::string h(4, '\0');
    h[0] = char((size >> 24) & 0xff);
    h[1] = char((size >> 16) & 0xff);
    h[2] = char((size >> 8) & 0xff);
    h[3] = char(size & 0xff);
    return h;
}

inline uint32_t frameSize(const unsigned char *h)
{
    return (uint32_t(h[0]) << 24) | (uint32_t(h[1]) << 16) | (uint32_t(h[2]) << 8) | uint32_t(h[3]);
}

} // namespace ConsoleProtocol
