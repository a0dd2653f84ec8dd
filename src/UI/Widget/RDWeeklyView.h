#pragma once

#include "RDLocalize.h"
#include "RDPickerFrame.h"

#include <QList>

class RDWeekDayView;

// Picks weekdays, Sunday (0) to Saturday (6), in one row of squares.
class RDWeeklyView : public RDPickerFrame, public RDLocalize
{
    Q_OBJECT
public:
    explicit RDWeeklyView(QWidget *parent = nullptr);

    // "0;6;" for Sunday and Saturday; empty for none.
    QString selectedDays() const;
    void setSelectedDays(const QString &text);
    QList<RDWeekDayView *> days() const { return m_days; }

    void languageChanged() override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private slots:
    void onClickWeekDayView(RDWeekDayView *dayView);

private:
    QList<RDWeekDayView *> m_days;
};
