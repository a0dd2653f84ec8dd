#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Helpers on byte strings (UTF-8 text held in std::string).

// A string of exactly `length` bytes (zero bytes included); empty below 1.
std::string bytesToString(const void *data, int length);
// Case-sensitive three-way comparison; the shorter of two equal prefixes first.
int strCompare(const std::string &a, const std::string &b);
// 0 when equal ignoring ASCII case; -1/1 for different lengths (shorter
// first), else the difference of the first differing upper-cased bytes.
int strCaseCompare(const std::string &a, const std::string &b);
// Index of the first occurrence at or after `start`, or -1. An empty needle
// gives `start`.
int findString(const std::string &text, const std::string &needle, int start);
bool startsWith(const std::string &text, const std::string &prefix);
bool endsWith(const std::string &text, const std::string &suffix);
// From the last '/' inclusive; the whole path when it has no '/'.
std::string lastPathPart(const std::string &path);
// Joins with exactly one '/' between the parts.
std::string joinPath(const std::string &a, const std::string &b);
// Pieces between delimiters (empty pieces kept). A limit of 1 or more keeps
// at most that many pieces and drops the rest; below 1 means no limit. An
// empty delimiter gives the whole text as one piece.
std::vector<std::string> splitString(const std::string &text, const std::string &delimiter, int limit);
// Removes leading and trailing ' ', '\r' and '\n'.
void trimString(std::string &text);
// '+' becomes a space and '%' with two hexadecimal digits (either case)
// becomes that byte; a '%' without two hex digits behind it is kept as it is.
std::string urlDecode(const std::string &text);

// Strict UTF-8 <-> wide (UTF-32 on Linux) conversion. Invalid input (bad
// sequences, overlong forms, surrogates, code points past U+10FFFF) gives an
// empty result and *ok = false instead of an exception.
std::wstring utf8ToWide(const std::string &text, bool *ok = nullptr);
std::string wideToUtf8(const std::wstring &text, bool *ok = nullptr);

// RFC 4648 base64, standard alphabet, padded, no line breaks.
std::string base64Encode(const void *data, int length);
std::string base64Encode(const std::string &data);

// One-shot SHA-1 (RFC 3174) into 20 bytes. 0 on success; non-zero when the
// message is missing for a length above 0, the length is negative, or the
// output is missing.
int sha1(const void *data, int length, uint8_t digest[20]);
