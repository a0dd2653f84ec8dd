#pragma once

#include "RDLocalize.h"
#include "RDWidget.h"

#include <QVector>

class QLabel;
class QLineEdit;
class RDFileListHeaderWidget;
class RDFileListWidget;
class RDLabel;
class RDPixmapsButton;

// The "Medium" page of the zone source: the files the switch plays in turn
// and how they repeat: not at all, the whole list for ever, a number of
// times, or for a number of seconds.
class RDGroupSourceMediaWidget : public RDWidget, public RDLocalize
{
    Q_OBJECT
public:
    enum Repeat { RepeatNone, RepeatList, RepeatTimes, RepeatDuration, RepeatCount };

    explicit RDGroupSourceMediaWidget(QWidget *parent = nullptr);

    // "list" (exact), "times" or "duration" (any case); anything else is no repeat.
    void setLoopType(const QString &type);
    // The word of the checked radio: "list", "times", "duration" or "none".
    QString loopType() const;
    void setEditable(bool editable);
    bool isEditable() const { return m_editable; }

    // The edits as whole numbers; 0 for an empty edit.
    int loopTimes() const;
    int loopDuration() const;
    void setLoopTimes(int times);
    void setLoopDuration(int seconds);

    RDFileListWidget *fileList() const { return m_list; }
    RDPixmapsButton *radio(Repeat repeat) const { return m_radios.value(repeat); }
    QLabel *caption(Repeat repeat) const { return m_captions.value(repeat); }
    QLineEdit *timesEdit() const { return m_times; }
    QLineEdit *durationEdit() const { return m_duration; }

    void languageChanged() override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void relayout();

    QLabel *m_repeatCaption;
    QVector<RDPixmapsButton *> m_radios;
    QVector<QLabel *> m_captions;
    QLineEdit *m_times;
    QLineEdit *m_duration;
    RDLabel *m_unit;
    RDFileListHeaderWidget *m_header;
    RDFileListWidget *m_list;
    bool m_editable = true;
};
