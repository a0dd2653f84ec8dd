#pragma once

#include "RDAudioPlayerObserver.h"
#include "RDLabel.h"
#include "RDLocalize.h"
#include "RDToast.h"

class QLabel;
class QLineEdit;
class RDAudioPlayer;
class RDPixmapsButton;

// The "Live Radio" page of the zone source: the radio address the zone plays,
// and a test play of it on the PC's sound output. The player reports from
// its own thread; those reports come back to this page as queued signals.
class RDGroupSourceStreamWidget : public RDToast, public RDLocalize, public RDAudioPlayerObserver
{
    Q_OBJECT
public:
    explicit RDGroupSourceStreamWidget(QWidget *parent = nullptr);
    ~RDGroupSourceStreamWidget() override;

    QString url() const;
    void setUrl(const QString &url);
    // Ends a running test play and unchecks the button.
    void stopPlay();
    bool isPlaying() const;

    QLineEdit *urlEdit() const { return m_urlEdit; }
    RDPixmapsButton *playButton() const { return m_play; }
    RDAudioPlayer *player() const { return m_player; }

    void languageChanged() override;

    void onOpenFailure(RDAudioPlayer *player) override;
    void onPlayEnded(RDAudioPlayer *player) override;

signals:
    void updatePlayError();
    void updatePlayEnded();

public slots:
    void onUpdatePlayError();
    void onUpdatePlayEnded();
    void onClickPlayButton();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void relayout();

    QLabel *m_caption;
    RDPixmapsButton *m_play;
    QLineEdit *m_urlEdit;
    RDAudioPlayer *m_player;
};
