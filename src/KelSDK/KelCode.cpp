#include "KelCode.h"

namespace {

uint8_t xorOf(const QString &s, int count)
{
    uint8_t x = 0;
    for (int i = 0; i < count && i < s.size(); ++i)
        x ^= uint8_t(s.at(i).toLatin1());
    return x;
}

QString hex2(unsigned v)
{
    return QString::asprintf("%02x", v & 0xFFu);
}

} // namespace

QString KelCode::encode(const QString &payload)
{
    if (payload.size() > 255)
        return QString();
    for (const QChar c : payload) {
        if (c.unicode() > 0xFF)
            return QString();
    }
    QString code = QStringLiteral("0101") + hex2(unsigned(payload.size())) + payload + QStringLiteral("P0");
    code += hex2(xorOf(code, code.size()));
    return code;
}

bool KelCode::decode(const QString &text, KelCode &out)
{
    const int m = text.size();
    if (m < 7)
        return false;
    bool ok = false;
    int len = text.mid(4, 2).toInt(&ok, 16);
    if (!ok || len < 0)
        len = 0;
    const bool longForm = text.left(2) == QLatin1String("01");
    QString trailer;
    QString checksum;
    if (longForm) {
        if (m < len + 10)
            return false;
        trailer = text.mid(6 + len, 2);
        checksum = text.mid(8 + len, 2);
    } else {
        if (m < len + 8)
            return false;
        checksum = text.mid(6 + len, 2);
    }
    if (hex2(xorOf(text, m - 2)).compare(checksum, Qt::CaseInsensitive) != 0)
        return false;
    out.version = text.left(2);
    out.type = text.mid(2, 2);
    out.payload = text.mid(6, len);
    out.trailer = trailer;
    return true;
}
