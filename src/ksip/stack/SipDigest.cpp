#include "SipDigest.h"

#include <osipparser2/osip_md5.h>

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

std::string toLower(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool equalsNoCase(const std::string &a, const char *b)
{
    return toLower(a) == toLower(b);
}

// True when `list` (comma or blank separated, as in qop="auth,auth-int")
// holds `token`.
bool listHas(const std::string &list, const char *token)
{
    std::string item;
    for (size_t i = 0; i <= list.size(); ++i) {
        const char c = i < list.size() ? list[i] : ',';
        if (c == ',' || c == ' ' || c == '\t') {
            if (equalsNoCase(item, token))
                return true;
            item.clear();
        } else {
            item.push_back(c);
        }
    }
    return false;
}

} // namespace

std::string SipDigest::md5Hex(const std::string &text)
{
    osip_MD5_CTX ctx;
    unsigned char digest[16];
    osip_MD5Init(&ctx);
    osip_MD5Update(&ctx, reinterpret_cast<unsigned char *>(const_cast<char *>(text.data())), static_cast<unsigned>(text.size()));
    osip_MD5Final(digest, &ctx);
    static const char hex[] = "0123456789abcdef";
    std::string out(32, '0');
    for (int i = 0; i < 16; ++i) {
        out[2 * i] = hex[digest[i] >> 4];
        out[2 * i + 1] = hex[digest[i] & 15];
    }
    return out;
}

std::string SipDigest::ha1(const std::string &user, const std::string &realm, const std::string &password)
{
    return md5Hex(user + ":" + realm + ":" + password);
}

std::string SipDigest::response(const std::string &ha1Hex, const std::string &nonce, const std::string &nc,
                                const std::string &cnonce, const std::string &qop, const std::string &method,
                                const std::string &uri)
{
    const std::string ha2 = md5Hex(method + ":" + uri);
    if (qop.empty())
        return md5Hex(ha1Hex + ":" + nonce + ":" + ha2);
    return md5Hex(ha1Hex + ":" + nonce + ":" + nc + ":" + cnonce + ":" + qop + ":" + ha2);
}

bool SipDigest::parse(const std::string &value, Params &out)
{
    out = Params();
    size_t i = 0;
    const size_t n = value.size();
    auto skipBlanks = [&] {
        while (i < n && (value[i] == ' ' || value[i] == '\t' || value[i] == '\r' || value[i] == '\n'))
            ++i;
    };
    skipBlanks();
    while (i < n && value[i] != ' ' && value[i] != '\t')
        out.scheme.push_back(value[i++]);
    if (!equalsNoCase(out.scheme, "Digest"))
        return false;
    bool any = false;
    while (true) {
        skipBlanks();
        while (i < n && value[i] == ',') {
            ++i;
            skipBlanks();
        }
        if (i >= n)
            break;
        std::string name;
        while (i < n && value[i] != '=' && value[i] != ',' && value[i] != ' ' && value[i] != '\t')
            name.push_back(value[i++]);
        skipBlanks();
        if (i >= n || value[i] != '=' || name.empty())
            return false;
        ++i;
        skipBlanks();
        std::string v;
        if (i < n && value[i] == '"') {
            ++i;
            bool closed = false;
            while (i < n) {
                const char c = value[i++];
                if (c == '\\' && i < n) {
                    v.push_back(value[i++]);
                } else if (c == '"') {
                    closed = true;
                    break;
                } else {
                    v.push_back(c);
                }
            }
            if (!closed)
                return false;
        } else {
            while (i < n && value[i] != ',' && value[i] != ' ' && value[i] != '\t')
                v.push_back(value[i++]);
        }
        any = true;
        const std::string key = toLower(name);
        if (key == "realm") out.realm = v;
        else if (key == "nonce") out.nonce = v;
        else if (key == "opaque") out.opaque = v;
        else if (key == "algorithm") out.algorithm = v;
        else if (key == "qop") out.qop = v;
        else if (key == "username") out.username = v;
        else if (key == "uri") out.uri = v;
        else if (key == "response") out.response = v;
        else if (key == "cnonce") out.cnonce = v;
        else if (key == "nc") out.nc = v;
        else if (key == "stale") out.stale = equalsNoCase(v, "true");
    }
    return any;
}

std::string SipDigest::authorization(const Params &challenge, const std::string &user, const std::string &password,
                                     const std::string &method, const std::string &uri, const std::string &cnonce,
                                     unsigned nc)
{
    if (!challenge.algorithm.empty() && !equalsNoCase(challenge.algorithm, "MD5"))
        return std::string();
    std::string qop;
    if (!challenge.qop.empty()) {
        if (!listHas(challenge.qop, "auth"))
            return std::string();
        qop = "auth";
    }
    char ncText[9];
    std::snprintf(ncText, sizeof ncText, "%08x", nc);
    const std::string digest =
        response(ha1(user, challenge.realm, password), challenge.nonce, ncText, cnonce, qop, method, uri);
    std::string out = "Digest username=\"" + user + "\", realm=\"" + challenge.realm + "\", nonce=\"" +
                      challenge.nonce + "\", uri=\"" + uri + "\", response=\"" + digest + "\", algorithm=MD5";
    if (!challenge.opaque.empty())
        out += ", opaque=\"" + challenge.opaque + "\"";
    if (!qop.empty())
        out += std::string(", qop=auth, nc=") + ncText + ", cnonce=\"" + cnonce + "\"";
    return out;
}

bool SipDigest::verify(const std::string &credentials, const std::string &method, const std::string &realm,
                       const std::string &nonce, const std::string &password)
{
    Params p;
    if (!parse(credentials, p))
        return false;
    if (p.realm != realm || p.nonce != nonce || p.username.empty() || p.response.empty())
        return false;
    if (!p.algorithm.empty() && !equalsNoCase(p.algorithm, "MD5"))
        return false;
    if (!p.qop.empty() && (!equalsNoCase(p.qop, "auth") || p.cnonce.empty() || p.nc.empty()))
        return false;
    const std::string qop = p.qop.empty() ? std::string() : std::string("auth");
    const std::string expected = response(ha1(p.username, realm, password), nonce, p.nc, p.cnonce, qop, method, p.uri);
    return toLower(p.response) == expected;
}
