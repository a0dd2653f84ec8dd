#pragma once

#include <QString>

// Length of a media file in milliseconds, or -1 when it cannot be read as
// audio. WAV headers are read directly; other formats through libavformat.
class MediaProbe
{
public:
    static qint64 durationMs(const QString &path);

private:
    static qint64 wavDurationMs(const QString &path, bool *isWav);
};
