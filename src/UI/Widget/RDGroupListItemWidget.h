#pragma once

#include "RDGroup.h"
#include "RDPlayerObserver.h"
#include "RDWidget.h"

#include <QString>

class QTimer;
class RDLabel;
class RDPixmapButton;
class RDPixmapWidget;
class RDPixmapsButton;
class RDPlayer;
class RDVideoView;

// One zone tile of the home screen: the zone's picture or the muted live
// picture of its camera, a play/stop button, a bar with the source icon,
// name, start-reason icon and delete button, and a full-screen button for
// camera zones. A camera stream that fails or ends is closed and opened
// again after a pause; at most one reopen is ever pending.
class RDGroupListItemWidget : public RDWidget, public RDPlayerObserver
{
    Q_OBJECT
public:
    explicit RDGroupListItemWidget(QWidget *parent = nullptr);
    ~RDGroupListItemWidget() override;

    RDGroup &group() { return m_group; }
    void setGroup(const RDGroup &group);
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);

    void onPlayerStatusChanged(int status, double current, double total) override;

    // The pause before a failed camera stream is opened again (5000 ms).
    static int reopenDelay();
    static void setReopenDelayForTesting(int milliseconds);

    // Cover cropping: the picture at `path` scaled to fill w x h, its middle
    // part kept; cached per path and size. Null when the file does not load.
    static QPixmap coverPixmap(const QString &path, int w, int h);

    // For tests and the home panel's look: what the tile shows.
    QString currentVideoUrl() const { return m_currentUrl; }
    RDVideoView *videoView() const { return m_videoView; }
    bool hasPendingReopen() const { return m_openVideoTimer != nullptr; }
    RDWidget *bar() const { return m_bar; }
    RDLabel *nameLabel() const { return m_name; }
    RDPixmapsButton *playButton() const { return m_playButton; }
    RDPixmapButton *sourceIcon() const { return m_sourceIcon; }
    RDPixmapButton *startReasonIcon() const { return m_startReasonIcon; }
    RDPixmapButton *fullScreenButton() const { return m_fullScreenButton; }
    RDPixmapWidget *picture() const { return m_picture; }

signals:
    void clicked(RDGroupListItemWidget *widget);
    void rightClicked(RDGroupListItemWidget *widget, QPoint pos);
    void startClicked(RDGroupListItemWidget *widget);
    void deleteClicked(RDGroupListItemWidget *widget);
    void videoClicked(RDGroupListItemWidget *widget);

public slots:
    void startOpenVideoTimer(int timeout);
    void stopOpenVideoTimer();
    void openVideo();
    void closeVideo();
    void invokeOpenVideo();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    bool onGuiThread() const;
    void applyBackground();
    void stopVideo();
    void playUrl(const QString &url);
    QString pictureFile() const;
    void relayout();

    RDWidget *m_content = nullptr;
    RDPixmapWidget *m_picture = nullptr;
    RDWidget *m_videoHolder = nullptr;
    RDVideoView *m_videoView = nullptr;
    RDWidget *m_bar = nullptr;
    RDPixmapsButton *m_playButton = nullptr;
    RDPixmapButton *m_sourceIcon = nullptr;
    RDLabel *m_name = nullptr;
    RDPixmapButton *m_startReasonIcon = nullptr;
    RDPixmapButton *m_deleteButton = nullptr;
    RDPixmapButton *m_fullScreenButton = nullptr;
    RDGroup m_group;
    bool m_selected = false;
    QString m_currentUrl;
    RDPlayer *m_player = nullptr;
    QTimer *m_openVideoTimer = nullptr;
};
