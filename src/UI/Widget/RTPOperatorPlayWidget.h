#pragma once

#include "RDGroupScheduleOperation.h"

#include <QWidget>

class RDPixmapsButton;

// Action cell of one schedule row: a play image for a start, a pause image
// for a stop.
class RTPOperatorPlayWidget : public QWidget
{
    Q_OBJECT
public:
    explicit RTPOperatorPlayWidget(const RDGroupScheduleOperation &operation, QWidget *parent = nullptr);

    RDGroupScheduleOperation operation() const { return m_operation; }
    RDPixmapsButton *button() const { return m_button; }

signals:
    void clickPlayWidget(RTPOperatorPlayWidget *deleteWidget);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    RDPixmapsButton *m_button;
    RDGroupScheduleOperation m_operation;
};
