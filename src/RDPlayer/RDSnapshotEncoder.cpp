#include "RDSnapshotEncoder.h"

#include "RDYUV420P.h"

#include <QDir>
#include <QFile>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

QByteArray RDSnapshotEncoder::encodeJpeg(const RDYUV420P &picture)
{
    if (picture.width() <= 0 || picture.height() <= 0)
        return QByteArray();
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    if (!codec)
        return QByteArray();
    AVCodecContext *context = avcodec_alloc_context3(codec);
    AVFrame *frame = av_frame_alloc();
    AVPacket *packet = av_packet_alloc();
    QByteArray result;
    if (context && frame && packet) {
        context->width = picture.width();
        context->height = picture.height();
        context->bit_rate = 32000;
        context->time_base = AVRational{1, 30};
        context->flags |= AV_CODEC_FLAG_QSCALE;
        context->global_quality = context->qmin * FF_QP2LAMBDA;
        context->mb_lmin = context->qmin * FF_QP2LAMBDA;
        context->mb_lmax = context->qmax * FF_QP2LAMBDA;
        context->pix_fmt = AV_PIX_FMT_YUVJ420P;

        // The frame borrows the picture's planes; the chroma planes hold the
        // rounded-up halves the encoder reads for odd sizes.
        frame->format = AV_PIX_FMT_YUVJ420P;
        frame->width = picture.width();
        frame->height = picture.height();
        frame->data[0] = const_cast<uint8_t *>(picture.y());
        frame->data[1] = const_cast<uint8_t *>(picture.u());
        frame->data[2] = const_cast<uint8_t *>(picture.v());
        frame->linesize[0] = picture.width();
        frame->linesize[1] = picture.chromaWidth();
        frame->linesize[2] = picture.chromaWidth();
        frame->quality = context->global_quality;
        frame->pts = 0;

        if (avcodec_open2(context, codec, nullptr) >= 0 && avcodec_send_frame(context, frame) >= 0
            && avcodec_receive_packet(context, packet) >= 0) {
            result = QByteArray(reinterpret_cast<const char *>(packet->data), packet->size);
        }
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);
    return result;
}

bool RDSnapshotEncoder::saveJpeg(const RDYUV420P &picture, const QString &path)
{
    const QByteArray jpeg = encodeJpeg(picture);
    if (jpeg.isEmpty())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool written = file.write(jpeg) == jpeg.size();
    file.close();
    if (!written)
        file.remove();
    return written;
}

QString RDSnapshotEncoder::capturePath(const QString &folder, const QDateTime &when)
{
    return QDir(folder).filePath(QStringLiteral("capture/") + when.toString(QStringLiteral("yyyyMMddHHmmss"))
                                 + QStringLiteral(".jpg"));
}
