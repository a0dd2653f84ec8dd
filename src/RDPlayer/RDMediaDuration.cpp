#include "RDMediaDuration.h"

extern "C" {
#include <libavformat/avformat.h>
}

double getMediaDuration(const QString &path)
{
    if (path.isEmpty())
        return 0.0;
    const QByteArray file = path.toUtf8();
    AVFormatContext *input = nullptr;
    if (avformat_open_input(&input, file.constData(), nullptr, nullptr) < 0)
        return 0.0;
    double seconds = 0.0;
    if (avformat_find_stream_info(input, nullptr) >= 0) {
        const int index = av_find_best_stream(input, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (index >= 0) {
            const AVStream *stream = input->streams[index];
            if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
                seconds = double(stream->time_base.num) / double(stream->time_base.den) * double(stream->duration);
            else if (input->duration != AV_NOPTS_VALUE && input->duration > 0)
                seconds = double(input->duration) / double(AV_TIME_BASE);
        }
    }
    avformat_close_input(&input);
    return seconds;
}
