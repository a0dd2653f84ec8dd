#pragma once

#include "PAPrayDay.h"
#include "RDLocalize.h"
#include "RDScrollArea.h"

#include <QPoint>
#include <QVector>

class QMenu;
class RDPrayFileListItemWidget;
class RDWidget;

// The nine prayers of a day in fixed order (Fajr .. Midnight), each with
// today's time and the file announced then. The stored list always holds
// nine paths, empty for a prayer without a file.
class RDPrayFileListWidget : public RDScrollArea, public RDLocalize
{
    Q_OBJECT
public:
    explicit RDPrayFileListWidget(QWidget *parent = nullptr);
    ~RDPrayFileListWidget() override;

    // Entry i for prayer i; missing entries are empty, extra ones ignored.
    void setFiles(const QVector<QString> &files);
    QVector<QString> files() const { return m_files; }
    void setPrayDay(const PAPrayDay &day);
    PAPrayDay prayDay() const { return m_day; }
    // Gates the context menu only: the rows' file buttons always work.
    void setEditable(bool editable);
    bool isEditable() const { return m_enabled; }
    void setPlayIndex(int index, double position);

    QVector<RDPrayFileListItemWidget *> rows() const { return m_rows; }
    QMenu *contextMenu() const { return m_menu; }
    int currentRow() const { return m_currentRow; }

signals:
    void clickFile(QString media, int position);
    void fileChanged();

public slots:
    void onClickItemWidget(RDPrayFileListItemWidget *widget);
    void onRightClickItemWidget(RDPrayFileListItemWidget *widget, QPoint pos);
    void onClickItemFileButton(RDPrayFileListItemWidget *widget);
    void onClickRightOpenItem();
    void onClickRightSelectFileItem();
    void onClickRightDeleteItem();
    void onClickRightClearItem();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void relayout();
    bool validRow() const { return m_currentRow >= 0 && m_currentRow < m_rows.size(); }
    // Asks for the file of one row (the first one chosen counts); says the
    // list changed even when nothing was chosen.
    // Asks for the file of one row; true when the dialog was accepted.
    void selectFile(int row);

    RDWidget *m_content;
    QVector<RDPrayFileListItemWidget *> m_rows;
    QVector<QString> m_files;
    PAPrayDay m_day;
    QMenu *m_menu = nullptr;
    int m_currentRow = -1;
    bool m_enabled = true;
};
