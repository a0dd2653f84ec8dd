#pragma once

#include "RDDialog.h"
#include "RDGroupScheduleOperation.h"

class QButtonGroup;
class QLabel;
class QPushButton;
class QRadioButton;
class QTimeEdit;

// Editor of one timed schedule operation: a time of day and start or stop.
class RTPOperatorEventDialog : public RDDialog
{
    Q_OBJECT
public:
    explicit RTPOperatorEventDialog(QWidget *parent = nullptr);

    // Presets the controls: "Start" for a start (any letter case), else "Stop".
    void setOperation(const RDGroupScheduleOperation &operation);
    // The operation the controls show: time "HH:mm", "start" or "stop".
    RDGroupScheduleOperation operation() const;

    QTimeEdit *timeEdit() const { return m_time; }
    QRadioButton *startButton() const { return m_start; }
    QRadioButton *stopButton() const { return m_stop; }
    QPushButton *okButton() const { return m_ok; }
    QPushButton *cancelButton() const { return m_cancel; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QLabel *m_label;
    QTimeEdit *m_time;
    QButtonGroup *m_group;
    QRadioButton *m_start;
    QRadioButton *m_stop;
    QPushButton *m_ok;
    QPushButton *m_cancel;
};
