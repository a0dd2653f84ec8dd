#include "RDJsonHelper.h"

#include <QSet>
#include <QString>
#include <vector>

namespace {

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

// Reads the string whose opening quote is at text[pos]; returns the index
// just past its closing quote, or -1 when it never ends or has a bad escape.
int readString(const QByteArray &text, int pos, QString *decoded)
{
    const int size = text.size();
    int runStart = ++pos;
    auto flushRun = [&](int end) {
        if (decoded && end > runStart)
            decoded->append(QString::fromUtf8(text.constData() + runStart, end - runStart));
    };
    while (pos < size) {
        const char c = text.at(pos);
        if (c == '"') {
            flushRun(pos);
            return pos + 1;
        }
        if (c != '\\') {
            ++pos;
            continue;
        }
        flushRun(pos);
        if (pos + 1 >= size)
            return -1;
        const char e = text.at(pos + 1);
        QChar out;
        int length = 2;
        switch (e) {
        case '"': out = QLatin1Char('"'); break;
        case '\\': out = QLatin1Char('\\'); break;
        case '/': out = QLatin1Char('/'); break;
        case 'b': out = QLatin1Char('\b'); break;
        case 'f': out = QLatin1Char('\f'); break;
        case 'n': out = QLatin1Char('\n'); break;
        case 'r': out = QLatin1Char('\r'); break;
        case 't': out = QLatin1Char('\t'); break;
        case 'u': {
            if (pos + 6 > size)
                return -1;
            int code = 0;
            for (int i = 2; i < 6; ++i) {
                const int v = hexValue(text.at(pos + i));
                if (v < 0)
                    return -1;
                code = code * 16 + v;
            }
            out = QChar(ushort(code));
            length = 6;
            break;
        }
        default:
            // Anything else is decoded as the character itself, as Qt does.
            out = QLatin1Char(e);
            break;
        }
        if (decoded)
            decoded->append(out);
        pos += length;
        runStart = pos;
    }
    return -1;
}

struct Container
{
    bool isObject = false;
    bool expectingKey = false;
    QSet<QString> keys;
};

} // namespace

bool rdJsonHasDuplicateKeys(const QByteArray &text)
{
    std::vector<Container> stack;
    const int size = text.size();
    int pos = 0;
    while (pos < size) {
        const char c = text.at(pos);
        switch (c) {
        case '{':
            stack.push_back(Container{true, true, {}});
            ++pos;
            break;
        case '[':
            stack.push_back(Container{false, false, {}});
            ++pos;
            break;
        case '}':
        case ']':
            if (!stack.empty())
                stack.pop_back();
            ++pos;
            break;
        case ',':
            if (!stack.empty() && stack.back().isObject)
                stack.back().expectingKey = true;
            ++pos;
            break;
        case '"': {
            const bool isKey = !stack.empty() && stack.back().isObject && stack.back().expectingKey;
            QString key;
            const int next = readString(text, pos, isKey ? &key : nullptr);
            if (next < 0)
                return false; // malformed: the parser reports it
            if (isKey) {
                Container &top = stack.back();
                if (top.keys.contains(key))
                    return true;
                top.keys.insert(key);
                top.expectingKey = false;
            }
            pos = next;
            break;
        }
        default:
            ++pos;
            break;
        }
    }
    return false;
}

QJsonDocument rdParseJson(const QByteArray &text, QJsonParseError *error)
{
    if (rdJsonHasDuplicateKeys(text)) {
        if (error) {
            error->error = QJsonParseError::IllegalValue;
            error->offset = 0;
        }
        return QJsonDocument();
    }
    QJsonParseError local;
    const QJsonDocument document = QJsonDocument::fromJson(text, error ? error : &local);
    return document;
}
