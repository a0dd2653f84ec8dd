#pragma once

#include <QVector>

class QMenu;
class QScrollArea;
class QWidget;

// What the file lists of the zone source pages share: the column their rows
// stand in, one play indicator at a time, and their context menu's end.
class RDListRows
{
public:
    // Rows 30 px high every 32 px from y 2, centred in the area's content
    // width (less the scroll bar when it shows). Returns the content width.
    static int layoutRows(QScrollArea *area, const QVector<QWidget *> &rows);

    // Row `index` plays from `position`; every other playing row stops.
    template <class Row>
    static void setPlayIndex(const QVector<Row *> &rows, int index, double position)
    {
        for (int i = 0; i < rows.size(); ++i) {
            if (i == index)
                rows[i]->setPlaying(true, position);
            else if (rows[i]->isPlaying())
                rows[i]->setPlaying(false, 0.0);
        }
    }

    // Hides the menu, deletes it once its events are done, and forgets it.
    static void closeMenu(QMenu *&menu);
};
