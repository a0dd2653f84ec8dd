#pragma once

#include <QObject>
#include <QString>

class RDBasePlayerDecoder;
class RDBasePlayerInput;
class RDBasePlayerObserver;
class RDBasePlayerOutput;
class RDPlayerRecorder;
class RDPlayerRecorderObserver;

// The generic player pipeline: owns an input, a decoder and an output stage,
// runs them in order, turns their states into player events and records on
// request. Concrete players supply the stages through the factories.
class RDBasePlayer : public QObject
{
public:
    explicit RDBasePlayer(QObject *parent = nullptr);
    ~RDBasePlayer() override;

    void setBaseObserver(RDBasePlayerObserver *observer);
    void setRecorderObserver(RDPlayerRecorderObserver *observer);

    virtual int inputStatus();
    virtual int start();
    virtual void stop();
    virtual void resume();
    virtual void pause();
    virtual void seek(double seconds);
    virtual void flush();
    virtual int open();
    virtual void close();
    virtual int startRecord(const QString &path, const QString &formatName, double seconds);
    virtual void stopRecord();
    virtual bool isRecording();
    virtual bool isInputRunning();
    virtual bool isPlaying();
    virtual double position();
    virtual double duration();

protected:
    virtual int openInput();
    virtual int openDecoder();
    virtual int openOutput();
    virtual void closeInput();
    virtual void closeDecoder();
    virtual void closeOutput();
    virtual RDBasePlayerInput *createInput() = 0;
    virtual RDBasePlayerDecoder *createDecoder() = 0;
    virtual RDBasePlayerOutput *createOutput() = 0;
    virtual void destroyInput();
    virtual void destroyDecoder();
    virtual void destroyOutput();

    RDBasePlayerInput *baseInput() const { return m_input; }
    RDBasePlayerDecoder *baseDecoder() const { return m_decoder; }
    RDBasePlayerOutput *baseOutput() const { return m_output; }

private:
    static void onInputState(RDBasePlayer *player, int state);
    static void onDecoderState(RDBasePlayer *player, int state);
    static void onOutputState(RDBasePlayer *player, int state);
    void sendEvent(int event, double current, double total);
    // Stops the output and the decoder, downstream first, then stops the
    // input or, with `pauseInput`, only pauses it.
    void haltStages(bool pauseInput);

    RDBasePlayerInput *m_input = nullptr;
    RDBasePlayerDecoder *m_decoder = nullptr;
    RDBasePlayerOutput *m_output = nullptr;
    RDPlayerRecorder *m_recorder = nullptr;
    RDBasePlayerObserver *m_observer = nullptr;
    RDPlayerRecorderObserver *m_recorderObserver = nullptr;
};
