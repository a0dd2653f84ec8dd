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
//
// How the queue is kept depends on the source. After an open the reader
// reads on without waiting while it learns which kind it has. A source whose
// audio gets more than kReadAheadMs ahead of real time (a file, a recording
// served over HTTP) is paced by the queue: the reader waits while it holds
// kMaxQueuedFrames. A source whose lead on real time stops growing for a
// whole kLiveWindowMs gives no more than real time (what came at once was
// sent before the open ended, or a server's burst at the start): it is live.
// A live source is never waited for and its delay to the call is kept short:
// frames beyond kMaxQueuedFrames are dropped at once, and when its queue
// stayed above 2 x kLiveQueuedFrames for a whole kLiveWindowMs (audio that
// came before the call took any, or piled up while the reader fell behind)
// it is cut down to kLiveQueuedFrames, oldest first.
class PASipStreamReader : public RDThread
{
public:
    // The queue holds at most this many frames (1 s): a file is read no
    // faster than the call plays it, a live source drops what is older.
    static constexpr int kMaxQueuedFrames = 50;
    // Frames a live source keeps queued against the jitter of its arrival.
    static constexpr int kLiveQueuedFrames = 5;
    // How long a source's lead on real time must stay (nearly) still for
    // the source to be taken for live, and how long the queue of a live
    // source must stay above twice kLiveQueuedFrames before the excess
    // is dropped.
    static constexpr int kLiveWindowMs = 1000;
    // How much the lead may grow in a window of a live source.
    static constexpr int kLiveLeadMs = 500;
    // A source whose audio gets further than this ahead of real time is
    // one that can be read ahead (a file).
    static constexpr int kReadAheadMs = 10000;

    PASipStreamReader(const QString &url, const PASipAudioFormat &target);
    // Stops the thread and waits for it.
    ~PASipStreamReader() override;

    void stop() override;
    // The oldest frame (now the caller's), or null.
    SipStreamFrame *pop();
    bool isFinished() const { return m_finished.load(); }
    enum Pace { Learning, Live, Paced };
    // What the open source is taken for (see above).
    Pace pace() const { return m_pace.load(); }
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
    // How far the audio queued since the open is ahead of real time.
    int64_t leadMs(int64_t now) const;
    // Sorts the source into live or paced by its lead.
    void updatePace();
    // Drops what a live source kept queued over a whole window.
    void dropBacklog();
    static int interrupted(void *opaque);

    const QString m_url;
    const QByteArray m_urlBytes;
    const PASipAudioFormat m_target;
    const int m_retryDelayMs;
    const int m_ioTimeoutMs;
    std::atomic<bool> m_finished{false};
    std::atomic<int64_t> m_deadlineMs{0};
    std::atomic<Pace> m_pace{Learning};
    // Fewest frames left in the queue after a pop since the window began.
    std::atomic<int> m_fewestQueued{INT32_MAX};
    // Real time the source's audio took to arrive during the open, when
    // the open ended, and the audio queued since.
    int64_t m_openPaceMs = 0;
    int64_t m_openedAtMs = 0;
    int64_t m_queuedMs = 0;
    int64_t m_windowStartMs = 0;
    int64_t m_windowLeadMs = 0;
    // Frames dropped since the last log line.
    int m_droppedFrames = 0;
    AVFormatContext *m_input = nullptr;
    int m_stream = -1;
    RDAudioTranscoder *m_transcoder = nullptr;
    std::vector<uint8_t> m_carry;
    SipFrameQueue m_queue;
    std::mutex m_roomLock;
    std::condition_variable m_room;
};
