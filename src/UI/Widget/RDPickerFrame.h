#pragma once

#include <QFrame>
#include <QString>

class RDPickerDayView;

// Common ground of the month and week pickers: a rounded blue frame (grey
// while disabled) of cells, and the selection exchanged with the schedule
// store as numbers each followed by ";".
class RDPickerFrame : public QFrame
{
    Q_OBJECT
public:
    explicit RDPickerFrame(QWidget *parent = nullptr);

protected:
    void changeEvent(QEvent *event) override;
    void applyFrameStyle();
    // "n;" for each selected cell, n = index + offset.
    QString selectionText(int offset) const;
    // Clears every cell, then selects cell n - offset for each number n of
    // the text that lies in [offset, offset + cell count).
    void applySelectionText(const QString &text, int offset);

    QList<RDPickerDayView *> m_cells; // in order; owned as children
};
