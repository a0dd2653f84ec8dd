#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

// Helpers of the audio conversion tests: codec parameters, PCM in packets,
// and media files made by the ffmpeg command-line tool.
namespace AudioTestMedia {

// Audio codec parameters with a default layout of `channels`.
AVCodecParameters *params(AVCodecID codec, int rate, int channels, AVSampleFormat format, int frameSize = 0,
                          int64_t bitRate = 0);

// Interleaved 16-bit PCM cut into packets of `samplesPerPacket` frames.
std::vector<AVPacket *> pcmPackets(const std::vector<int16_t> &pcm, int channels, int samplesPerPacket);
void freePackets(std::vector<AVPacket *> &packets);

// Runs `ffmpeg -y -loglevel error <args>`; false when it failed or took
// more than 20 s.
bool runFfmpeg(const QStringList &args);

// The packets of the best audio stream of `path` and that stream's
// parameters (caller frees both); false when the file cannot be read.
bool readAudioPackets(const QString &path, std::vector<AVPacket *> *packets, AVCodecParameters **par);

} // namespace AudioTestMedia
