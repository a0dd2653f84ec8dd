#pragma once

#include <QAudioFormat>
#include <QMutex>
#include <QObject>
#include <QWaitCondition>

#include <atomic>

struct AVFrame;
class QAudioOutput;
class QIODevice;
class RDAudioConverter;

// Pushes PCM to the PC's default sound output through Qt Multimedia,
// converting decoded frames to the device's format when they differ.
// start() and stop() run on the thread that owns the player; writes come
// from one other thread and block while the device is full, until abort().
class RDPcmPlayer : public QObject
{
public:
    explicit RDPcmPlayer(QObject *parent = nullptr);
    ~RDPcmPlayer() override;

    int start();
    void stop();
    // Ends a write blocked on a full device, and every later one.
    void abort();
    void setVolume(float volume);
    float volume() const { return m_volume; }
    bool isStarted() const { return m_device != nullptr && !m_startFailed; }
    QAudioFormat format() const { return m_format; }

    int writeFrame(const AVFrame *frame);
    // Writes `len` bytes in the device format. With volume 0 nothing is
    // written and `len` is returned. -1 without a started device.
    int write(const char *data, int len);
    // Seconds of audio written but not yet played; 0 without a device.
    double bufferedSeconds() const;

private:
    QIODevice *m_device = nullptr;
    QAudioOutput *m_output = nullptr;
    QAudioFormat m_format;
    std::atomic<float> m_volume{1.0f};
    RDAudioConverter *m_converter = nullptr;
    bool m_startFailed = true;
    std::atomic<bool> m_abort{false};
    QMutex m_waitMutex;
    QWaitCondition m_abortEvent;
};
