#pragma once

#include "RDFullDialog.h"
#include "RDGroup.h"
#include "RDPlayerObserver.h"
#include "RDPlayerRecorderObserver.h"

#include <QDateTime>
#include <QString>

class RDPixmapsButton;
class RDPlayer;
class RDProgress;
class RDVideoView;

// The large view of a camera zone: plays its main stream with sound, and
// offers play/stop, sound on/off, a snapshot into the capture folder and a
// call to the zone.
class RDGroupStreamDialog : public RDFullDialog, public RDPlayerObserver, public RDPlayerRecorderObserver
{
    Q_OBJECT
public:
    explicit RDGroupStreamDialog(QWidget *parent = nullptr);
    ~RDGroupStreamDialog() override;

    void setGroup(const RDGroup &group);
    void play();

    void onPlayerStatusChanged(int status, double current, double total) override;
    void onRecorderStatusChanged(RDPlayerRecorder *recorder, int status, double current, double total) override;

    // Where a snapshot taken at `now` goes in `folder`: "yyyyMMddHHmmss.jpg",
    // or "yyyyMMddHHmmss-n.jpg" with the first n that names no file yet, so
    // that shots within one second never overwrite each other.
    static QString capturePath(const QString &folder, const QDateTime &now);

    RDPlayer *player() const { return m_player; }
    RDVideoView *videoView() const { return m_videoView; }
    RDPixmapsButton *playButton() const { return m_playButton; }
    RDPixmapsButton *audioButton() const { return m_audioButton; }
    RDProgress *busyIndicator() const { return m_progress; }

signals:
    // The speak button: the owner opens the call to the zone's conference.
    void speakRequested(const QString &conference);

public slots:
    void onClickPlayButton();
    void onClickAudioButton();
    void onClickCaptureButton();
    void onClickSpeakButton();
    void updatePlayerStatus(int status, double current, double total);
    void updateRecordStatus(int status, double current, double total);

protected:
    void relayoutContents(int width, int height) override;

private:
    void startPlaying();
    void showStopped();

    RDGroup m_group;
    RDPlayer *m_player = nullptr;
    RDVideoView *m_videoView = nullptr;
    RDPixmapsButton *m_playButton = nullptr;
    RDPixmapsButton *m_audioButton = nullptr;
    RDPixmapsButton *m_captureButton = nullptr;
    RDPixmapsButton *m_speakButton = nullptr;
    RDProgress *m_progress = nullptr;
};
