#pragma once

#include "RDPlayerQueue.h"

#include <QObject>
#include <QString>

#include <cstdint>

struct AVFormatContext;
struct AVStream;
class RDBasePlayerDecoder;
class RDBasePlayerInput;
class RDBasePlayerInputPacket;
class RDPlayerRecorderObserver;
class RDPlayerRecoderThread;
class RDThread;

// Records what a player reads into a file without re-encoding: taps the
// input's packets, waits for a video key frame, then writes every packet
// with its timestamps rebased to the start of the recording.
class RDPlayerRecorder : public QObject
{
public:
    RDPlayerRecorder(RDBasePlayerInput *input, RDBasePlayerDecoder *decoder);
    ~RDPlayerRecorder() override;

    void setObserver(RDPlayerRecorderObserver *observer);
    // `formatName` empty: the container is guessed from the path.
    void setParams(const QString &path, const QString &formatName, double seconds);
    int start();
    void stop();
    bool isRecording() const;

    // Body of the recording thread.
    void doRecord(RDThread *thread);

    // Bytes of stream header (parameter sets) in front of the first key
    // frame unit of an Annex-B packet of `codecId`; 0 when none.
    static int headerDataSize(const uint8_t *data, int size, int codecId);

private:
    static void tap(void *context, RDBasePlayerInputPacket *packet);
    int initRecord(const RDBasePlayerInputPacket *packet);
    int addStream(int type, const RDBasePlayerInputPacket *keyPacket);
    int writePacket(RDBasePlayerInputPacket *packet);
    void finish();
    void report(int status, double current, double total);

    QString m_path;
    QString m_formatName;
    double m_seconds = 0.0;
    RDBasePlayerInput *m_input;
    RDBasePlayerDecoder *m_decoder;
    AVFormatContext *m_outputContext = nullptr;
    AVStream *m_videoStream = nullptr;
    AVStream *m_audioStream = nullptr;
    double m_lastVideoTime = 0.0;
    double m_lastAudioTime = 0.0;
    double m_firstVideoTime = -1.0;
    double m_firstAudioTime = -1.0;
    // Last decoding timestamp written per stream, to keep them rising.
    int64_t m_lastVideoDts = INT64_MIN;
    int64_t m_lastAudioDts = INT64_MIN;
    RDPlayerQueue<RDBasePlayerInputPacket> *m_queue = nullptr;
    RDPlayerRecoderThread *m_thread = nullptr;
    RDPlayerRecorderObserver *m_observer = nullptr;
};
