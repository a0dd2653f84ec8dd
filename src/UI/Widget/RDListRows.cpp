#include "RDListRows.h"

#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>

int RDListRows::layoutRows(QScrollArea *area, const QVector<QWidget *> &rows)
{
    const QMargins margins = area->contentsMargins();
    int contentWidth = area->width() - margins.left() - margins.right();
    int rowWidth = area->width() - 10;
    if (area->verticalScrollBar()->isVisible()) {
        contentWidth -= area->verticalScrollBar()->width();
        rowWidth -= area->verticalScrollBar()->width();
    }
    const int x = (contentWidth - rowWidth) / 2;
    for (int i = 0; i < rows.size(); ++i)
        rows[i]->setGeometry(x, 2 + 32 * i, qMax(0, rowWidth), 30);
    return qMax(0, contentWidth);
}

void RDListRows::closeMenu(QMenu *&menu)
{
    if (!menu)
        return;
    menu->hide();
    menu->deleteLater();
    menu = nullptr;
}
