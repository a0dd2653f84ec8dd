#pragma once

#include "RDBasePlayer.h"
#include "RDBasePlayerObserver.h"

class RDPlayerDecoder;
class RDPlayerInput;
class RDPlayerObserver;
class RDPlayerOutputDefault;
class RDVideoSink;

// The media player of the screens: FFmpeg input and decoders, video to a
// view and sound to the default output. Called on one thread (the GUI
// thread); events reach the observer on the stage threads.
class RDPlayer : public RDBasePlayer, public RDBasePlayerObserver
{
public:
    explicit RDPlayer(QObject *parent = nullptr);
    ~RDPlayer() override;

    // Restarts from scratch on `url`. 0 when the pipeline started (an
    // unreachable url is reported later as status 1), -1 otherwise.
    int play(const QString &url);
    // Stops every stage and deletes them; no event follows its return.
    void stop() override;
    void setObserver(RDPlayerObserver *observer);
    void setTimeout(double seconds);
    void setVideoView(RDVideoSink *view);
    void setVolume(double volume);
    void setDropWhenFull(bool drop);
    double volume() const { return m_volume; }

    void onStageEvent(int event, double current, double total) override;

protected:
    RDBasePlayerInput *createInput() override;
    RDBasePlayerDecoder *createDecoder() override;
    RDBasePlayerOutput *createOutput() override;
    void destroyInput() override;
    void destroyDecoder() override;
    void destroyOutput() override;

private:
    RDVideoSink *m_view = nullptr;
    double m_volume = 1.0;
    double m_timeout = 0.0;
    bool m_dropWhenFull = false;
    RDPlayerInput *m_input = nullptr;
    RDPlayerDecoder *m_decoder = nullptr;
    RDPlayerOutputDefault *m_output = nullptr;
    RDPlayerObserver *m_playerObserver = nullptr;
};
