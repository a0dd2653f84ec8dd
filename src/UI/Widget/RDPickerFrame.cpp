#include "RDPickerFrame.h"

#include "RDPickerDayView.h"

#include <QEvent>

RDPickerFrame::RDPickerFrame(QWidget *parent)
    : QFrame(parent)
{
    applyFrameStyle();
}

void RDPickerFrame::applyFrameStyle()
{
    setStyleSheet(isEnabled() ? QStringLiteral("QFrame{background-color:#19a4ff;border-radius:3px;}")
                              : QStringLiteral("QFrame{background-color:#d0d0d0;border-radius:3px;}"));
}

void RDPickerFrame::changeEvent(QEvent *event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        applyFrameStyle();
}

QString RDPickerFrame::selectionText(int offset) const
{
    const QList<RDPickerDayView *> &cells = m_cells;
    QString text;
    for (int i = 0; i < cells.size(); ++i) {
        if (cells[i]->isSelected())
            text += QStringLiteral("%1;").arg(i + offset);
    }
    return text;
}

void RDPickerFrame::applySelectionText(const QString &text, int offset)
{
    const QList<RDPickerDayView *> &cells = m_cells;
    for (RDPickerDayView *cell : cells)
        cell->setSelected(false);
    for (const QString &part : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int n = part.toInt(&ok, 10);
        if (ok && n >= offset && n < offset + cells.size())
            cells[n - offset]->setSelected(true);
    }
}
