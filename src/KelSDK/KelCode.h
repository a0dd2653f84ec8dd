#pragma once

#include <QString>

// The connection code: a short text carrying a payload and a checksum,
// shown as a QR code and sent in LAN discovery answers.
class KelCode
{
public:
    // "01" "01" <length as %02x> <payload> "P0" <xor checksum as %02x>.
    // Payloads longer than 255 characters or outside Latin-1 cannot be
    // represented: the result is then empty.
    static QString encode(const QString &payload);
    // Accepts the long form (version "01", with trailer) and the short form
    // (any other version, no trailer). `out` changes only on success.
    static bool decode(const QString &text, KelCode &out);

    QString version;
    QString type;
    QString trailer;
    QString payload;
};
