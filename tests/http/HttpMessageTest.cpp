// Request parsing, query strings, responses and the fixed tables.
#include "RDHttpBaseRequest.h"
#include "RDHttpFileResponse.h"
#include "RDHttpRequestParser.h"
#include "RDHttpStreamResponse.h"
#include "RDHttpTextResponse.h"
#include "RDHttpUtils.h"
#include "RDMFData.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

RDHttpRequestParser::Result parse(const std::string &bytes, RDHttpBaseRequest &request,
                                  const RDHttpRequestParser::Limits &limits = {})
{
    return RDHttpRequestParser::parseHead(bytes.data(), bytes.size(), request, limits);
}

void writeFile(const std::string &path, const std::string &content)
{
    std::ofstream f(path, std::ios::binary);
    f << content;
}

} // namespace

TEST(HttpRequestParse, RequestLineHeadersAndDecoding)
{
    RDHttpBaseRequest r;
    ASSERT_TRUE(r.parse("GET /a%20b?x=1 HTTP/1.1\r\nHost:  h  \r\nX-A: 1\r\nX-A: 2\r\nno colon here"));
    EXPECT_EQ(r.method(), "GET");
    EXPECT_EQ(r.path(), "/a b?x=1");
    EXPECT_EQ(r.target(), "/a%20b?x=1");
    EXPECT_EQ(r.version(), "HTTP/1.1");
    EXPECT_EQ(r.header("Host"), "h");
    EXPECT_EQ(r.header("X-A"), "2");
    EXPECT_EQ(r.contentLength(), 0);
    EXPECT_EQ(r.toString(), "GET /a b?x=1 HTTP/1.1\r\nHost: h\r\nX-A: 2\r\n\r\n");

    RDHttpBaseRequest single;
    EXPECT_FALSE(single.parse("GET /only-one-blank"));
    EXPECT_TRUE(single.method().empty());
    EXPECT_TRUE(single.version().empty());
    EXPECT_FALSE(single.isComplete());

    RDHttpBaseRequest three;
    ASSERT_TRUE(three.parse("GET / HTTP/1.1 extra"));
    EXPECT_EQ(three.version(), "HTTP/1.1 extra");
}

TEST(HttpRequestParse, HeaderNamesAreCaseInsensitive)
{
    // A lower-case length must frame the body, or the body would be read as the next request.
    RDHttpBaseRequest r;
    ASSERT_TRUE(r.parse("POST /x HTTP/1.1\r\ncontent-length: 12"));
    EXPECT_EQ(r.contentLength(), 12);
    EXPECT_EQ(r.header("Content-Length"), "12");
    EXPECT_EQ(r.header("CONTENT-LENGTH"), "12");
}

TEST(HttpRequestParse, ContentLengthValues)
{
    struct Case {
        const char *value;
        long long length;
        bool wellFormed;
    } cases[] = {
        {"0", 0, true},
        {"15", 15, true},
        {"12abc", 12, false},
        {" -5", -5, false},
        {"abc", 0, false},
        {"99999999999999999999999", 9223372036854775807LL, false},
    };
    for (const auto &c : cases) {
        RDHttpBaseRequest r;
        ASSERT_TRUE(r.parse(std::string("POST / HTTP/1.1\r\nContent-Length: ") + c.value)) << c.value;
        EXPECT_EQ(r.contentLength(), c.length) << c.value;
        EXPECT_EQ(r.contentLengthWellFormed(), c.wellFormed) << c.value;
    }
}

TEST(HttpRequestParser, PartialPipelinedAndBad)
{
    const std::string two = "GET /a HTTP/1.1\r\nHost: x\r\n\r\nGET /b HTTP/1.1\r\n\r\n";
    // Every prefix short of the first blank line asks for more, never fails.
    const size_t firstEnd = two.find("\r\n\r\n") + 4;
    for (size_t n = 0; n < firstEnd; ++n) {
        RDHttpBaseRequest r;
        auto res = parse(two.substr(0, n), r);
        ASSERT_EQ(res.status, RDHttpRequestParser::Status::NeedMore) << n;
    }
    RDHttpBaseRequest a;
    auto res = parse(two, a);
    ASSERT_EQ(res.status, RDHttpRequestParser::Status::Ok);
    EXPECT_EQ(res.consumed, firstEnd);
    EXPECT_EQ(a.path(), "/a");
    RDHttpBaseRequest b;
    res = parse(two.substr(firstEnd), b);
    ASSERT_EQ(res.status, RDHttpRequestParser::Status::Ok);
    EXPECT_EQ(b.path(), "/b");

    // Empty lines before a request line are skipped (RFC 7230 section 3.5).
    RDHttpBaseRequest c;
    res = parse("\r\n\r\nGET /c HTTP/1.1\r\n\r\n", c);
    ASSERT_EQ(res.status, RDHttpRequestParser::Status::Ok);
    EXPECT_EQ(c.path(), "/c");

    RDHttpRequestParser::Limits small;
    small.maxHeadBytes = 256;
    small.maxLineBytes = 64;
    small.maxBodyBytes = 100;
    std::string manyHeaders; // short lines, but more of them than the head may hold
    for (int i = 0; i < 20; ++i)
        manyHeaders += "X-H" + std::to_string(i) + ": vvvvvvvvvv\r\n";
    struct Case {
        std::string bytes;
        int status;
    } bad[] = {
        {"GARBAGE\r\n\r\n", 400},
        {"GET /x\r\n\r\n", 400},
        {"G(T /x HTTP/1.1\r\n\r\n", 400},
        {"GET /x FTP/1.0\r\n\r\n", 400},
        {std::string("GET /x HTTP/1.1\r\nA: \0\r\n\r\n", 26), 400},
        {"GET /x HTTP/1.1\nHost: bare-lf\n\n", 400},
        {"POST /x HTTP/1.1\r\nContent-Length: -1\r\n\r\n", 400},
        {"POST /x HTTP/1.1\r\nContent-Length: 1x\r\n\r\n", 400},
        {"POST /x HTTP/1.1\r\nContent-Length: 5\r\ncontent-length: 6\r\n\r\n", 400},
        {"POST /x HTTP/1.1\r\nContent-Length: 101\r\n\r\n", 413},
        {"POST /x HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", 501},
        {"GET /" + std::string(100, 'a') + " HTTP/1.1\r\n\r\n", 414},
        {"GET /" + std::string(100, 'a'), 414},
        {"GET / HTTP/1.1\r\nX: " + std::string(100, 'a') + "\r\n\r\n", 431},
        {"GET / HTTP/1.1\r\n" + manyHeaders, 431},
    };
    for (const auto &c : bad) {
        RDHttpBaseRequest r;
        res = parse(c.bytes, r, small);
        EXPECT_EQ(res.status, RDHttpRequestParser::Status::Bad) << c.bytes;
        EXPECT_EQ(res.errorStatus, c.status) << c.bytes;
    }
    // Repeating the same length is harmless.
    RDHttpBaseRequest same;
    res = parse("POST /x HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 5\r\n\r\n", same, small);
    EXPECT_EQ(res.status, RDHttpRequestParser::Status::Ok);
}

TEST(HttpRequest, BodyCompletenessAndRead)
{
    RDHttpBaseRequest r;
    ASSERT_TRUE(r.parse("POST /x HTTP/1.1\r\nContent-Length: 5"));
    EXPECT_FALSE(r.isComplete()); // no body attached
    r.setBody(new RDMFData);
    r.body()->write("abc", 3);
    EXPECT_FALSE(r.isComplete());
    r.body()->write("de", 2);
    EXPECT_TRUE(r.isComplete());
    EXPECT_EQ(r.readBody(), "abcde");
    EXPECT_EQ(r.readBody(), "");
}

TEST(HttpQuery, PairsAndDecodingOnce)
{
    using Q = RDHttpQuery;
    struct Case {
        const char *text;
        Q expected;
    } cases[] = {
        {"/action?zone=3001&operation=start", Q {{"operation", "start"}, {"zone", "3001"}}},
        {"a=1&a=2", Q {{"a", "2"}}},
        {"a&b=", Q {{"b", ""}}},
        {"q=a+b%21", Q {{"q", "a b!"}}},
        {"x=1&y=2", Q {{"x", "1"}, {"y", "2"}}},
        {"?x=1?y=2", Q {{"x", "1?y"}}},
        {"a=b=c&=v", Q {{"a", "b"}, {"", "v"}}},
        // Encoded separators stay inside their value, and are decoded once only.
        {"/action?zone=30%2601&op=%2526", Q {{"op", "%26"}, {"zone", "30&01"}}},
        {"k=%zz%4", Q {{"k", "%zz%4"}}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(parseHttpQuery(c.text), c.expected) << c.text;
}

TEST(HttpTables, MimeTypesAndReasons)
{
    EXPECT_EQ(httpMimeType("photo.JPG"), "image/jpeg");
    EXPECT_EQ(httpMimeType("a.jpe"), "image/jpeg");
    EXPECT_EQ(httpMimeType("x.tar.gz"), "application/octet-stream");
    EXPECT_EQ(httpMimeType("noext"), "application/octet-stream");
    EXPECT_EQ(httpMimeType("dot."), "application/octet-stream");
    EXPECT_EQ(httpMimeType(""), "application/octet-stream");
    EXPECT_EQ(httpMimeType("/song.mp3"), "audio/mp3");
    EXPECT_EQ(httpMimeType("app.apk"), "application/vnd.android.package-archive");

    EXPECT_EQ(httpStatusReason(404), "Not Found");
    EXPECT_EQ(httpStatusReason(203), "Non-authoritative Information");
    EXPECT_EQ(httpStatusReason(418), "I'm a teapot");
    EXPECT_EQ(httpStatusReason(599), "Network Connect Timeout Error");
    EXPECT_EQ(httpStatusReason(299), "OK");
}

TEST(HttpResponse, HeadsInByteOrder)
{
    RDHttpTextResponse json;
    json.setJson("{\"result\":\"ok\"}");
    EXPECT_EQ(json.head(), "HTTP/1.1 200 OK\r\n"
                           "Access-Control-Allow-Headers: Content-Type,X-Requested-With\r\n"
                           "Access-Control-Allow-Origin: *\r\n"
                           "Content-Length: 15\r\n"
                           "Content-Type: application/json;charset=UTF-8\r\n"
                           "\r\n");

    RDHttpTextResponse empty;
    empty.setStatus(404);
    empty.setText("");
    EXPECT_EQ(empty.header("Content-Length"), "0");
    EXPECT_EQ(empty.header("Content-Type"), "text;charset=UTF-8");
    EXPECT_EQ(empty.head().substr(0, 24), "HTTP/1.1 404 Not Found\r\n");

    RDHttpTextResponse odd;
    odd.setStatus(299);
    EXPECT_EQ(odd.reason(), "OK");
    // A value cannot smuggle a line break into the head.
    odd.setHeader("X-Name", "a\r\nSet-Cookie: x");
    EXPECT_NE(odd.head().find("X-Name: a  Set-Cookie: x\r\n"), std::string::npos);

    RDHttpStreamResponse icy;
    icy.setBitrate(64000);
    icy.setMetaInterval(1024);
    const std::string head = icy.head();
    EXPECT_LT(head.find("Content-Type: audio/mpeg"), head.find("icy-br: 64000"));
    EXPECT_NE(head.find("Accept-Ranges: none"), std::string::npos);
    EXPECT_EQ(icy.metaInterval(), 1024);
}

TEST(HttpResponse, FileResponseHeaders)
{
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString();
    writeFile(root + "/a.txt", "hello");
    RDHttpFileResponse file;
    file.setFile(root + "/a.txt");
    EXPECT_EQ(file.header("Content-Type"), "text/plain");
    EXPECT_EQ(file.header("Content-Length"), "5");
    RDHttpFileResponse missing;
    missing.setFile(root + "/none.mp3");
    EXPECT_EQ(missing.header("Content-Type"), "audio/mp3");
    EXPECT_EQ(missing.header("Content-Length"), "0");
}

TEST(HttpFolderPage, ListsFoldersAndFilesButNotDsStore)
{
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString();
    const std::string empty = httpDirectoryIndexPage(root);
    EXPECT_EQ(empty.find("<td><a href=\"../\">../</a></td>"), empty.find("<td><a href=\"")) << "only the parent row";
    EXPECT_NE(empty.find("<title>Index of " + root + "</title>"), std::string::npos);
    EXPECT_NE(empty.find("action=\"/api/upload?path=" + root + "\" method=\"post\""), std::string::npos);
    EXPECT_EQ(empty.substr(empty.size() - 9), "</html>\r\n");

    std::filesystem::create_directory(root + "/x");
    writeFile(root + "/.ds_store", "junk");
    writeFile(root + "/song.mp3", "12345678");
    const std::string page = httpDirectoryIndexPage(root);
    EXPECT_EQ(page.find(".ds_store"), std::string::npos);
    EXPECT_NE(page.find("      <td><a href=\"x/\">x</a></td>\r\n"), std::string::npos);
    const size_t xRow = page.find("<a href=\"x/\">");
    const std::string row = page.substr(xRow, page.find("</tr>", xRow) - xRow);
    EXPECT_NE(row.find("</td>\r\n      <td>-</td>\r\n    "), std::string::npos) << row;
    EXPECT_EQ(row.find("Delete"), std::string::npos);
    EXPECT_NE(page.find("      <td>8</td>\r\n"), std::string::npos);
    EXPECT_NE(page.find("<a href=\"/api/delete?path=" + root + "/song.mp3\">Delete</a></td>"), std::string::npos);
}

TEST(HttpPathSafety, RequestsStayInsideTheirFolder)
{
    QTemporaryDir dir;
    const std::string base = dir.path().toStdString();
    const std::string root = base + "/upload";
    std::filesystem::create_directories(root + "/sub");
    std::filesystem::create_directories(base + "/database");
    writeFile(base + "/database/velmar.db", "secret");
    writeFile(root + "/sub/ok.txt", "fine");
    std::filesystem::create_directory_symlink(base + "/database", root + "/link");
    std::filesystem::create_directories(base + "/upload2");
    writeFile(base + "/upload2/x", "neighbour");

    std::string resolved;
    struct Refused {
        const char *target;
    } refused[] = {
        {"/../database/velmar.db"},
        {"/%2e%2e/database/velmar.db"},
        {"/%2E%2E/database/velmar.db"},
        {"/sub/../../database/velmar.db"},
        {"/sub/%2e%2e/ok.txt"},
        {"/..%2fdatabase/velmar.db"},
        {"/link/velmar.db"},
        {"/ok.txt%00.jpg"},
        {"/..\\database\\velmar.db"},
        {"/../upload2/x"},
    };
    for (const auto &r : refused) {
        EXPECT_FALSE(httpResolvePathInFolder(root, r.target, resolved)) << r.target;
        EXPECT_TRUE(resolved.empty()) << r.target;
    }

    ASSERT_TRUE(httpResolvePathInFolder(root, "/sub/ok.txt?x=1", resolved));
    EXPECT_EQ(resolved, root + "/sub/ok.txt");
    // A doubled slash never makes the target absolute.
    ASSERT_TRUE(httpResolvePathInFolder(root, "//etc/passwd", resolved));
    EXPECT_EQ(resolved, root + "/etc/passwd");
    ASSERT_TRUE(httpResolvePathInFolder(root, "/", resolved));
    ASSERT_TRUE(httpResolvePathInFolder(root, "/sub/new%20file.txt", resolved));
    EXPECT_EQ(resolved, root + "/sub/new file.txt");

    EXPECT_TRUE(httpIsInsideFolder(root, root + "/sub/ok.txt"));
    EXPECT_FALSE(httpIsInsideFolder(root, base + "/upload2/x"));
    EXPECT_FALSE(httpIsInsideFolder(root, "/etc/passwd"));
    EXPECT_FALSE(httpIsInsideFolder(root, root + "/link/velmar.db"));
}
