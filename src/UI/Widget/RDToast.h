#pragma once

#include "RDWidget.h"

#include <QPointer>

class RDLabel;

// A widget that can show a short message over itself: a dark translucent
// label with white text that goes away after 2000 ms or on a click. A newer toast replaces
// the one shown; an older toast's timer also hides a newer one.
class RDToast : public RDWidget
{
    Q_OBJECT
public:
    explicit RDToast(QWidget *parent = nullptr);

    void showToast(const QString &message, Qt::Alignment alignment = Qt::AlignHCenter | Qt::AlignBottom,
                   int marginX = 5, int marginY = 5);
    // The label shown now, or null.
    RDLabel *toastLabel() const { return m_toast; }

    // The toast label's look, sized to its text, placed in `parent` by the
    // alignment flags (left before centre before right, top before centre
    // before bottom) and shown. Shared with the dialog bases.
    static RDLabel *createToastLabel(QWidget *parent, const QString &message, Qt::Alignment alignment, int marginX,
                                     int marginY);
    // Hides and unparents a toast label, then deletes it (`now`) or leaves
    // it to the event loop (when it may be inside its own signal).
    static void discardToastLabel(RDLabel *label, bool now);
    // Where a w x h toast goes in a W x H parent.
    static QPoint toastPosition(int W, int H, int w, int h, Qt::Alignment alignment, int marginX, int marginY);

private:
    void hideToast();

    QPointer<RDLabel> m_toast;
};
