#pragma once

#include "PASipAudioFormat.h"
#include "RDThread.h"
#include "SipFrameQueue.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

struct AVFormatContext;
class RDAudioTranscoder;
class SipStreamFrame;

// Reads a stream URL or a file on its own thread ("Url Read"), turns its
// first audio stream into 20 ms PCM frames of the call's format and queues
// them for the call's send thread. A source that cannot be opened, fails or
// ends is opened again after the retry delay, for as long as the reader
// runs. Every blocking open and read is bounded by the I/O time-out and
// ends at once when the reader is stopped.
class PASipStreamReader : public RDThread
{
public:
    // The queue holds at most this many frames (1 s): a file is read no
    // faster than the call plays it.
    static constexpr int kMaxQueuedFrames = 50;

    PASipStreamReader(const QString &url, const PASipAudioFormat &target);
    // Stops the thread and waits for it.
    ~PASipStreamReader() override;

    void stop() override;
    // The oldest frame (now the caller's), or null.
    SipStreamFrame *pop();
    bool isFinished() const { return m_finished.load(); }
    QString url() const { return m_url; }

    // Delay before a failed or ended source is opened again (5000 ms), and
    // the bound on one open or read (10000 ms). Readers started later use
    // the values set; tests shorten them.
    static void setRetryDelayMs(int ms);
    static int retryDelayMs();
    static void setIoTimeoutMs(int ms);
    static int ioTimeoutMs();

protected:
    void run() override;

private:
    bool openInput();
    void closeInput();
    // Waits until the queue has room; false when stopped.
    bool waitForRoom();
    void armDeadline();
    static int interrupted(void *opaque);

    const QString m_url;
    const QByteArray m_urlBytes;
    const PASipAudioFormat m_target;
    const int m_retryDelayMs;
    const int m_ioTimeoutMs;
    std::atomic<bool> m_finished{false};
    std::atomic<int64_t> m_deadlineMs{0};
    AVFormatContext *m_input = nullptr;
    int m_stream = -1;
    RDAudioTranscoder *m_transcoder = nullptr;
    std::vector<uint8_t> m_carry;
    SipFrameQueue m_queue;
    std::mutex m_roomLock;
    std::condition_variable m_room;
};
