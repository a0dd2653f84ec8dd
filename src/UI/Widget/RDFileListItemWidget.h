#pragma once

#include "RDHoverRowWidget.h"

class RDLabel;
class RDPlayIndicator;

// One file of a zone's media list: its name and playing time, and a
// progress bar while the switch plays it.
class RDFileListItemWidget : public RDHoverRowWidget
{
    Q_OBJECT
public:
    explicit RDFileListItemWidget(QWidget *parent = nullptr);

    // Shows the file; reads its playing time from the file.
    void setPath(const QString &path);
    QString path() const { return m_path; }
    double duration() const;

    void setPlaying(bool playing, double position);
    bool isPlaying() const;
    RDPlayIndicator *indicator() const { return m_indicator; }

    RDLabel *nameLabel() const { return m_name; }
    RDLabel *durationLabel() const { return m_duration; }
    RDWidget *progressBar() const { return m_progress; }

signals:
    void clicked(RDFileListItemWidget *widget);
    void rightClicked(RDFileListItemWidget *widget, QPoint pos);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    QString m_path;
    RDWidget *m_progress;
    RDLabel *m_name;
    RDLabel *m_duration;
    RDPlayIndicator *m_indicator;
};
