#include "RDHttpUtils.h"

#include "RDFileHelper.h"
#include "RDStringHelper.h"

#include <cctype>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool equalsIgnoringCase(const std::string &a, const char *b)
{
    size_t n = 0;
    for (; b[n]; ++n) {
        if (n >= a.size())
            return false;
        if (std::toupper(static_cast<unsigned char>(a[n])) != std::toupper(static_cast<unsigned char>(b[n])))
            return false;
    }
    return n == a.size();
}

std::string localTimeText(std::time_t t)
{
    std::tm tmv {};
    localtime_r(&t, &tmv);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", tmv.tm_year + 1900, tmv.tm_mon + 1,
                  tmv.tm_mday, tmv.tm_hour, tmv.tm_min, tmv.tm_sec);
    return buf;
}

// Canonical form of an existing path, or of its longest existing ancestor with
// the rest appended lexically (so a file about to be created can be checked).
bool canonicalOf(const std::string &path, fs::path &out)
{
    std::error_code ec;
    out = fs::weakly_canonical(fs::path(path), ec);
    return !ec;
}

} // namespace

std::string httpUrlDecode(const std::string &text)
{
    return urlDecode(text);
}

RDHttpQuery parseHttpQuery(const std::string &text)
{
    RDHttpQuery query;
    const size_t q = text.find('?');
    const std::string rest = q == std::string::npos ? text : text.substr(q + 1);
    size_t start = 0;
    while (start <= rest.size()) {
        size_t amp = rest.find('&', start);
        if (amp == std::string::npos)
            amp = rest.size();
        const std::string piece = rest.substr(start, amp - start);
        const size_t eq = piece.find('=');
        if (eq != std::string::npos) {
            // Only the first two '='-separated parts count: "a=b=c" gives a = b.
            const size_t eq2 = piece.find('=', eq + 1);
            const std::string value = piece.substr(eq + 1, eq2 == std::string::npos ? std::string::npos : eq2 - eq - 1);
            query[httpUrlDecode(piece.substr(0, eq))] = httpUrlDecode(value);
        }
        start = amp + 1;
    }
    return query;
}

std::string httpMimeType(const std::string &fileName)
{
    static const char *const table[][2] = {
        {"gif", "image/gif"},
        {"jpg", "image/jpeg"},
        {"jpe", "image/jpeg"},
        {"jpeg", "image/jpeg"},
        {"apk", "application/vnd.android.package-archive"},
        {"ipa", "application/vnd.iphone"},
        {"txt", "text/plain"},
        {"mp3", "audio/mp3"},
        {"mp4", "video/mp4"},
        {"avi", "video/avi"},
    };
    const size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || dot + 1 >= fileName.size())
        return "application/octet-stream";
    const std::string ext = fileName.substr(dot + 1);
    for (const auto &row : table) {
        if (equalsIgnoringCase(ext, row[0]))
            return row[1];
    }
    return "application/octet-stream";
}

std::string httpStatusReason(int status)
{
    switch (status) {
    case 100: return "Continue";
    case 101: return "Switching Protocols";
    case 102: return "Processing";
    case 200: return "OK";
    case 201: return "Created";
    case 202: return "Accepted";
    case 203: return "Non-authoritative Information";
    case 204: return "No Content";
    case 205: return "Reset Content";
    case 206: return "Partial Content";
    case 207: return "Multi-Status";
    case 208: return "Already Reported";
    case 226: return "IM Used";
    case 300: return "Multiple Choices";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 305: return "Use Proxy";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 402: return "Payment Required";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 406: return "Not Acceptable";
    case 407: return "Proxy Authentication Required";
    case 408: return "Request Timeout";
    case 409: return "Conflict";
    case 410: return "Gone";
    case 411: return "Length Required";
    case 412: return "Precondition Failed";
    case 413: return "Payload Too Large";
    case 414: return "Request-URI Too Long";
    case 415: return "Unsupported Media Type";
    case 416: return "Requested Range Not Satisfiable";
    case 417: return "Expectation Failed";
    case 418: return "I'm a teapot";
    case 421: return "Misdirected Request";
    case 422: return "Unprocessable Entity";
    case 423: return "Locked";
    case 424: return "Failed Dependency";
    case 426: return "Upgrade Required";
    case 428: return "Precondition Required";
    case 429: return "Too Many Requests";
    case 431: return "Request Header Fields Too Large";
    case 444: return "Connection Closed Without Response";
    case 451: return "Unavailable For Legal Reasons";
    case 499: return "Client Closed Request";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    case 505: return "HTTP Version Not Supported";
    case 506: return "Variant Also Negotiates";
    case 507: return "Insufficient Storage";
    case 508: return "Loop Detected";
    case 510: return "Not Extended";
    case 511: return "Network Authentication Required";
    case 599: return "Network Connect Timeout Error";
    default: return "OK";
    }
}

std::string httpDirectoryIndexPage(const std::string &folder)
{
    std::vector<std::string> lines = {
        "<html>",
        "<head><meta charset=\"UTF-8\"><title>Index of " + folder + "</title></head>",
        "<script type=\"text/javascript\">",
        "  function loadBody() {",
        "    var uploadInput = document.getElementById(\"upload_input\");",
        "    uploadInput.onchange = function () {",
        "      if (uploadInput.value.length == 0) {",
        "        return;",
        "      }",
        "      var upload_form=document.getElementById(\"upload_form\");",
        "      upload_form.submit();",
        "      uploadInput.value = \"\";",
        "    }",
        "    var uploadButton = document.getElementById(\"upload_button\");",
        "    uploadButton.onclick = function() {",
        "      var uploadInput = document.getElementById(\"upload_input\");",
        "      uploadInput.click();",
        "    }",
        "  }",
        "</script>",
        "<body bgcolor=\"white\" onload=\"loadBody()\">",
        "  <h1>Index of " + folder + "</h1>",
        "  <hr><pre>",
        "  <table cellspacing=\"10\">",
        "    <tr>",
        "      <td><a href=\"../\">../</a></td>",
        "      <td><form action=\"/api/upload?path=" + folder
            + "\" method=\"post\" enctype=\"multipart/form-data\" id=\"upload_form\"><input type=\"file\" "
              "name=\"file\" id=\"upload_input\" style=\"display: none\"/><button id=\"upload_button\" "
              "type=\"button\">Upload</button></form></td>",
        "      <td></td>",
        "    </tr>",
    };

    for (const RDDirEntry &entry : listDirectory(folder)) {
        const std::string &name = entry.name;
        const std::string &joined = entry.path;
        RDFileStatus status;
        fileStat(joined, status);
        const std::time_t mtime = static_cast<std::time_t>(status.modifyTime);
        const long long size = static_cast<long long>(status.size);
        if (entry.isDirectory) {
            lines.push_back("    <tr>");
            lines.push_back("      <td><a href=\"" + name + "/\">" + name + "</a></td>");
            lines.push_back("      <td>" + localTimeText(mtime) + "</td>");
            lines.push_back("      <td>-</td>");
            lines.push_back("    </tr>");
        } else {
            if (equalsIgnoringCase(name, ".DS_Store"))
                continue;
            lines.push_back("    <tr>");
            lines.push_back("      <td><a href=\"" + name + "\">" + name + "</a></td>");
            lines.push_back("      <td>" + localTimeText(mtime) + "</td>");
            lines.push_back("      <td>" + std::to_string(size) + "</td>");
            lines.push_back("      <td><a href=\"/api/delete?path=" + joined + "\">Delete</a></td>");
            lines.push_back("    </tr>");
        }
    }

    for (const char *tail : {"  </table>", "</pre></hr>", "</body>", "</html>"})
        lines.emplace_back(tail);

    std::string page;
    for (const auto &l : lines) {
        page += l;
        page += "\r\n";
    }
    return page;
}

bool httpIsInsideFolder(const std::string &root, const std::string &path)
{
    if (root.empty() || path.find('\0') != std::string::npos)
        return false;
    fs::path canonRoot;
    fs::path canonPath;
    if (!canonicalOf(root, canonRoot) || !canonicalOf(path, canonPath))
        return false;
    // Compare element by element so "/srv/upload2" is not taken as inside "/srv/upload".
    auto r = canonRoot.begin();
    auto p = canonPath.begin();
    for (; r != canonRoot.end(); ++r, ++p) {
        if (r->empty() && std::next(r) == canonRoot.end())
            break; // trailing separator of the root
        if (p == canonPath.end() || *r != *p)
            return false;
    }
    return true;
}

bool httpResolvePathInFolder(const std::string &root, const std::string &target, std::string &resolved)
{
    resolved.clear();
    if (root.empty())
        return false;
    const size_t q = target.find('?');
    const std::string decoded = httpUrlDecode(target.substr(0, q));
    if (decoded.find('\0') != std::string::npos || decoded.find('\\') != std::string::npos)
        return false;
    // Refuse any ".." segment outright, even one that would stay inside the root.
    size_t start = 0;
    while (start <= decoded.size()) {
        size_t slash = decoded.find('/', start);
        if (slash == std::string::npos)
            slash = decoded.size();
        if (decoded.compare(start, slash - start, "..") == 0 && slash - start == 2)
            return false;
        start = slash + 1;
    }
    // The target is always relative to the root: leading slashes never make it absolute.
    size_t first = decoded.find_first_not_of('/');
    const std::string relative = first == std::string::npos ? std::string() : decoded.substr(first);
    const std::string candidate = joinPath(root, relative);
    if (!httpIsInsideFolder(root, candidate))
        return false;
    resolved = candidate;
    return true;
}
