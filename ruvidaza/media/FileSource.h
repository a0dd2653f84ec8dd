#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;

// A media file played into a conference: demuxed and decoded with FFmpeg a
// little at a time, resampled to the mix's 16 kHz mono.
class FileSource
{
public:
    FileSource();
    ~FileSource();
    FileSource(const FileSource &) = delete;
    FileSource &operator=(const FileSource &) = delete;

    // Opens the file's best audio stream; false with a reason otherwise.
    bool open(const std::string &path, std::string *error);
    // Fills `out` with the next `count` samples; fewer (the rest zero) only
    // at the end of the file. Returns how many came from the file.
    int read(int16_t *out, int count);
    bool atEnd() const { return m_ended && m_pending.empty(); }
    const std::string &path() const { return m_path; }
    // Milliseconds played so far.
    int64_t positionMs() const { return m_delivered * 1000 / kRate; }
    // Length from the container, or -1 when it does not say.
    int64_t durationMs() const { return m_durationMs; }

    static constexpr int kRate = 16000;

private:
    // Decodes until at least `want` samples wait or the file ends.
    void fill(size_t want);
    void convert(const AVFrame *frame);
    void close();

    std::string m_path;
    AVFormatContext *m_format = nullptr;
    AVCodecContext *m_codec = nullptr;
    SwrContext *m_swr = nullptr;
    AVPacket *m_packet = nullptr;
    AVFrame *m_frame = nullptr;
    int m_stream = -1;
    bool m_ended = false;
    bool m_flushed = false;
    int64_t m_delivered = 0;
    int64_t m_durationMs = -1;
    std::vector<int16_t> m_pending;
};
