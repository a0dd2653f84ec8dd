#pragma once

#include "RDGroupScheduleOperation.h"

#include <QWidget>

class RDPixmapButton;

// Edit cell of one schedule row.
class RTPOperatorEditWidget : public QWidget
{
    Q_OBJECT
public:
    explicit RTPOperatorEditWidget(const RDGroupScheduleOperation &operation, int row, QWidget *parent = nullptr);

    RDGroupScheduleOperation operation() const { return m_operation; }
    int row() const { return m_row; }
    RDPixmapButton *button() const { return m_button; }

signals:
    void clickEditWidget(RTPOperatorEditWidget *editWidget);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    RDPixmapButton *m_button;
    RDGroupScheduleOperation m_operation;
    int m_row = -1;
};
