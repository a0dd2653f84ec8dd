#pragma once

#include "RDFullDialog.h"
#include "RDPlayerObserver.h"

class RDPixmapsButton;
class RDPlayer;
class RDProgress;
class RDVideoView;

// Plays one stream address so the operator can check it before storing it:
// the picture fills the dialog, with play/stop, mute and a spinner while
// the stream opens.
class RDStreamDialog : public RDFullDialog, public RDPlayerObserver
{
    Q_OBJECT
public:
    explicit RDStreamDialog(QWidget *parent = nullptr);
    ~RDStreamDialog() override;

    void play(const QString &url);
    QString url() const { return m_url; }

    RDVideoView *videoView() const { return m_view; }
    RDPixmapsButton *playButton() const { return m_playButton; }
    RDPixmapsButton *audioButton() const { return m_audioButton; }
    RDProgress *spinner() const { return m_spinner; }
    RDPlayer *player() const { return m_player; }

    // Player threads.
    void onPlayerStatusChanged(int status, double current, double total) override;

protected:
    void relayoutContents(int width, int height) override;

private slots:
    void onClickPlayButton();
    void onClickAudioButton();
    void updatePlayerStatus(int status, double current, double total);

private:
    void startPlayer();
    void stopSpinner();

    QString m_url;
    RDPlayer *m_player;
    RDVideoView *m_view;
    RDPixmapsButton *m_playButton;
    RDPixmapsButton *m_audioButton;
    RDProgress *m_spinner;
};
