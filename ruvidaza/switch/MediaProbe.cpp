#include "MediaProbe.h"

#include <QFile>
#include <QtEndian>

extern "C" {
#include <libavformat/avformat.h>
}

qint64 MediaProbe::wavDurationMs(const QString &path, bool *isWav)
{
    *isWav = false;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray head = f.read(12);
    if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "WAVE")
        return -1;
    *isWav = true;
    quint32 byteRate = 0;
    for (int guard = 0; guard < 64; ++guard) {
        const QByteArray chunk = f.read(8);
        if (chunk.size() < 8)
            return -1;
        const quint32 size = qFromLittleEndian<quint32>(reinterpret_cast<const uchar *>(chunk.constData() + 4));
        if (chunk.startsWith("fmt ")) {
            const QByteArray fmt = f.read(size);
            if (fmt.size() < 16)
                return -1;
            byteRate = qFromLittleEndian<quint32>(reinterpret_cast<const uchar *>(fmt.constData() + 8));
            if (size & 1)
                f.read(1);
        } else if (chunk.startsWith("data")) {
            if (byteRate == 0)
                return -1;
            const qint64 available = f.size() - f.pos();
            const qint64 bytes = qMin<qint64>(size, available);
            return bytes * 1000 / byteRate;
        } else if (!f.seek(f.pos() + size + (size & 1))) {
            return -1;
        }
    }
    return -1;
}

qint64 MediaProbe::durationMs(const QString &path)
{
    bool isWav = false;
    const qint64 wav = wavDurationMs(path, &isWav);
    if (isWav)
        return wav;
    AVFormatContext *ctx = nullptr;
    const QByteArray p = path.toUtf8();
    if (avformat_open_input(&ctx, p.constData(), nullptr, nullptr) != 0)
        return -1;
    qint64 ms = -1;
    if (avformat_find_stream_info(ctx, nullptr) >= 0
        && av_find_best_stream(ctx, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) >= 0 && ctx->duration > 0)
        ms = ctx->duration / (AV_TIME_BASE / 1000);
    avformat_close_input(&ctx);
    return ms;
}
