#pragma once

#include "RDLocalize.h"

#include <QPoint>
#include <QScrollArea>
#include <QVector>

class QMenu;
class RDFileListItemWidget;
class RDFileListTailWidget;
class RDWidget;

// A zone's media list: one row per file in play order, a tail row with the
// add button, and a context menu to move a file to the top, show it in its
// folder, insert files before it, delete it or clear the list. While the
// zone runs the list is not editable, but a row click still asks the
// switch to jump to that file.
class RDFileListWidget : public QScrollArea, public RDLocalize
{
    Q_OBJECT
public:
    explicit RDFileListWidget(QWidget *parent = nullptr);
    ~RDFileListWidget() override;

    void setFiles(const QVector<QString> &files);
    QVector<QString> files() const { return m_files; }
    void setEditable(bool editable);
    bool isEditable() const { return m_enabled; }
    // Row `index` shows its progress from `position` seconds; every other
    // row stops. An index outside the rows stops all.
    void setPlayIndex(int index, double position);

    QVector<RDFileListItemWidget *> rows() const { return m_rows; }
    RDFileListTailWidget *tail() const { return m_tail; }
    QMenu *contextMenu() const { return m_menu; }
    int currentRow() const { return m_currentRow; }

signals:
    void clickMedia(QString media, int position);
    void mediaChanged();

public slots:
    void onClickAddButton();
    void onClickItemWidget(RDFileListItemWidget *widget);
    void onRightClickItemWidget(RDFileListItemWidget *widget, QPoint pos);
    void onClickRightTopItem();
    void onClickRightOpenItem();
    void onClickRightAddItem();
    void onClickRightDeleteItem();
    void onClickRightClearItem();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void relayout();
    bool validRow() const { return m_currentRow >= 0 && m_currentRow < m_files.size(); }
    // Rebuilds the rows from the stored paths and says the list changed.
    void commitChange();

    RDWidget *m_content;
    RDFileListTailWidget *m_tail;
    QVector<RDFileListItemWidget *> m_rows;
    QVector<QString> m_files;
    QMenu *m_menu = nullptr;
    int m_currentRow = -1;
    bool m_enabled = true;
};
