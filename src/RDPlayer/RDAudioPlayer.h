#pragma once

#include "CoreAudioRenderObserver.h"

#include <QString>
#include <QWaitCondition>

struct AVFifo;
struct AVFormatContext;
struct AVStream;
class CoreAudioRender;
class RDAudioPlayerObserver;
class RDAudioPlayerThread;
class RDAudioTranscoder;
class RDThread;
class RDThreadLocker;

// Plays the audio of one file or stream URL on the PC's default playback
// endpoint: its thread reads the input, a transcoder turns the packets into
// the endpoint's mix format, and the render thread takes them through a
// one-second FIFO. Used for the test play of a stream URL.
class RDAudioPlayer : public CoreAudioRenderObserver
{
public:
    RDAudioPlayer();
    virtual ~RDAudioPlayer();

    void setUrl(const QString &url);
    void setObserver(RDAudioPlayerObserver *observer);
    // Starts the player's thread unless one exists; opening happens there.
    void start();
    // Ends the thread (an open or read in progress is cut short) and waits for it.
    void stop();
    // From start() until stop(), also after the input has ended by itself.
    bool isRunning() const;

    // What is opened for `url`: spaces become "%20" in network URLs; local
    // paths are left as they are.
    static QByteArray openName(const QString &url);

    void onRenderStarted(CoreAudioRender *render) override;
    void onRenderClosed(CoreAudioRender *render) override;
    void onRenderData(CoreAudioRender *render, unsigned char *buffer, int frames, int bytes) override;

    // Body of the thread.
    void play(RDThread *thread);

private:
    static int interruptCallback(void *opaque);
    bool openFile();
    void closeFile();

    RDThreadLocker *m_lock = nullptr;
    RDAudioTranscoder *m_transcoder = nullptr;
    AVFifo *m_fifo = nullptr;
    AVFormatContext *m_formatContext = nullptr;
    AVStream *m_audioStream = nullptr;
    QString m_url;
    CoreAudioRender *m_render = nullptr;
    RDAudioPlayerObserver *m_observer = nullptr;
    RDAudioPlayerThread *m_thread = nullptr;
    // Signalled under m_lock when the render opens or closes and when it
    // takes packets, so the thread waits on events instead of polling.
    QWaitCondition m_renderEvent;
    bool m_renderReady = false;
    // Bytes the render asked for last; what the FIFO holds below it stays unheard.
    int m_periodBytes = 1;
};
