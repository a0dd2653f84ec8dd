#pragma once

#include <map>
#include <string>

// Free functions of the HTTP message layer: query strings, fixed tables,
// folder pages and the containment check for every file a request names.

using RDHttpQuery = std::map<std::string, std::string>;

// Percent-decoding of one URL component (RFC 3986 section 2.1), with '+' read
// as a blank (HTML form encoding). A '%' that is not followed by two
// hexadecimal digits is kept as it is.
std::string httpUrlDecode(const std::string &text);

// The query of a request target (everything after the first '?') or a form
// body (no '?'): pairs split at '&', each at its first '='; keys and values
// are decoded exactly once, so "%26" and "%3D" stay inside their value.
RDHttpQuery parseHttpQuery(const std::string &text);

std::string httpMimeType(const std::string &fileName);
std::string httpStatusReason(int status);
std::string httpDirectoryIndexPage(const std::string &folder);

// Maps a request target onto a file below `root`. The path part of the target
// (before any '?') is decoded once, then refused when it holds a NUL byte, a
// backslash or a ".." segment; the result must also stay below the canonical
// root once symbolic links are followed. Returns false when the target must
// not be served; `resolved` is then left empty.
bool httpResolvePathInFolder(const std::string &root, const std::string &target, std::string &resolved);

// True when `path` (a path on disk) names `root` itself or something below it
// once both are made canonical (symbolic links followed).
bool httpIsInsideFolder(const std::string &root, const std::string &path);
