#pragma once

#include "RDHoverRowWidget.h"

class RDLabel;
class RDPixmapButton;
class RDPlayIndicator;

// One prayer of the day in a prayer zone: its name, today's time, the file
// announced then and a button that picks that file.
class RDPrayFileListItemWidget : public RDHoverRowWidget
{
    Q_OBJECT
public:
    explicit RDPrayFileListItemWidget(QWidget *parent = nullptr);

    void setPrayName(const QString &name);
    QString prayName() const { return m_prayName; }
    void setTimeText(const QString &text);
    QString timeText() const { return m_timeText; }
    // Shows the file; reads its playing time. An empty path shows nothing.
    void setPath(const QString &path);
    QString path() const { return m_path; }
    double duration() const;

    void setPlaying(bool playing, double position);
    bool isPlaying() const;
    RDPlayIndicator *indicator() const { return m_indicator; }

    RDLabel *nameLabel() const { return m_nameLabel; }
    RDLabel *timeLabel() const { return m_timeLabel; }
    RDLabel *fileLabel() const { return m_fileLabel; }
    RDPixmapButton *fileButton() const { return m_fileButton; }

signals:
    void clicked(RDPrayFileListItemWidget *widget);
    void rightClicked(RDPrayFileListItemWidget *widget, QPoint pos);
    void clickFileButton(RDPrayFileListItemWidget *widget);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    QString m_prayName;
    QString m_timeText;
    QString m_path;
    RDWidget *m_progress;
    RDLabel *m_nameLabel;
    RDLabel *m_timeLabel;
    RDLabel *m_fileLabel;
    RDPixmapButton *m_fileButton;
    RDPlayIndicator *m_indicator;
};
