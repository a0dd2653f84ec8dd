#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

class RDYUV420P;

// Writes a picture as a JPEG file with FFmpeg's MJPEG encoder.
class RDSnapshotEncoder
{
public:
    // The JPEG bytes of `picture`; empty when the encoder is missing or
    // refuses the picture.
    static QByteArray encodeJpeg(const RDYUV420P &picture);
    // Encodes and writes the file, replacing it. False on any failure, and
    // then no file is left behind.
    static bool saveJpeg(const RDYUV420P &picture, const QString &path);
    // "<folder>/capture/yyyyMMddHHmmss.jpg" for a snapshot taken at `when`.
    static QString capturePath(const QString &folder, const QDateTime &when);
};
