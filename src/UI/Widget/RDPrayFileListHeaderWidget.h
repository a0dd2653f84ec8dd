#pragma once

#include "RDWidget.h"

class RDLabel;
class RDPixmapButton;

// Green caption over the prayer list, with the button that fetches the
// month's timetable again.
class RDPrayFileListHeaderWidget : public RDWidget
{
    Q_OBJECT
public:
    explicit RDPrayFileListHeaderWidget(QWidget *parent = nullptr);

    RDLabel *label() const { return m_label; }
    RDPixmapButton *refreshButton() const { return m_refresh; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    RDLabel *m_label;
    RDPixmapButton *m_refresh;
};
