#include "RDPrayFileListWidget.h"

#include "PAAlertDialog.h"
#include "RDAudioFileFilter.h"
#include "RDFileReveal.h"
#include "RDListRows.h"
#include "RDModal.h"
#include "RDPrayFileListItemWidget.h"
#include "RDWidget.h"
#include "RDWidgetStyle.h"

#include <QMenu>

RDPrayFileListWidget::RDPrayFileListWidget(QWidget *parent) : RDScrollArea(parent), m_content(new RDWidget())
{
    m_content->setBackgroundColor(Qt::white);
    setWidget(m_content);
    setWidgetResizable(false);
    m_files.resize(PAPrayDay::kPrayerCount);
    for (int i = 0; i < PAPrayDay::kPrayerCount; ++i) {
        auto *row = new RDPrayFileListItemWidget(m_content);
        row->setPrayName(QString::fromLatin1(PAPrayDay::kNames[i]));
        connect(row, &RDPrayFileListItemWidget::clicked, this, &RDPrayFileListWidget::onClickItemWidget);
        connect(row, &RDPrayFileListItemWidget::rightClicked, this, &RDPrayFileListWidget::onRightClickItemWidget);
        connect(row, &RDPrayFileListItemWidget::clickFileButton, this,
                &RDPrayFileListWidget::onClickItemFileButton);
        row->show();
        m_rows.append(row);
    }
    setFiles(m_files);
}

RDPrayFileListWidget::~RDPrayFileListWidget() { delete m_menu; }

void RDPrayFileListWidget::setFiles(const QVector<QString> &files)
{
    for (int i = 0; i < m_rows.size(); ++i) {
        RDPrayFileListItemWidget *row = m_rows[i];
        row->setPrayName(QString::fromLatin1(PAPrayDay::kNames[i]));
        row->setTimeText(m_day.times[i].toString());
        m_files[i] = files.value(i);
        row->setPath(m_files[i]);
    }
    relayout();
}

void RDPrayFileListWidget::setPrayDay(const PAPrayDay &day)
{
    m_day = day;
    for (int i = 0; i < m_rows.size(); ++i)
        m_rows[i]->setTimeText(day.times[i].toString());
}

void RDPrayFileListWidget::setEditable(bool editable)
{
    m_enabled = editable;
    if (!editable)
        RDListRows::closeMenu(m_menu);
}

void RDPrayFileListWidget::setPlayIndex(int index, double position)
{
    RDListRows::setPlayIndex(m_rows, index, position);
}

void RDPrayFileListWidget::onClickItemWidget(RDPrayFileListItemWidget *widget)
{
    const int index = m_rows.indexOf(widget);
    if (index >= 0)
        emit clickFile(widget->path(), index);
}

void RDPrayFileListWidget::onRightClickItemWidget(RDPrayFileListItemWidget *widget, QPoint pos)
{
    if (!m_enabled)
        return;
    RDListRows::closeMenu(m_menu);
    m_currentRow = m_rows.indexOf(widget);
    if (m_currentRow < 0)
        return;
    m_menu = new QMenu();
    applyMenuStyle(m_menu);
    m_menu->addAction(RDLocalize::text(QStringLiteral("Open In Explorer")), this,
                      &RDPrayFileListWidget::onClickRightOpenItem);
    m_menu->addSeparator();
    m_menu->addAction(RDLocalize::text(QStringLiteral("Select File")), this,
                      &RDPrayFileListWidget::onClickRightSelectFileItem);
    m_menu->addSeparator();
    m_menu->addAction(RDLocalize::text(QStringLiteral("Delete")), this, &RDPrayFileListWidget::onClickRightDeleteItem);
    m_menu->addSeparator();
    m_menu->addAction(RDLocalize::text(QStringLiteral("Clear")), this, &RDPrayFileListWidget::onClickRightClearItem);
    m_menu->popup(widget->mapToGlobal(pos));
}

void RDPrayFileListWidget::onClickItemFileButton(RDPrayFileListItemWidget *widget)
{
    const int index = m_rows.indexOf(widget);
    if (index >= 0)
        selectFile(index);
}

void RDPrayFileListWidget::selectFile(int row)
{
    const QStringList chosen = RDModal::getOpenFileNames(this, RDLocalize::text(QStringLiteral("Select File")),
                                                         QString(), RDAudioFileFilter::basicFilter());
    if (!chosen.isEmpty()) {
        m_files[row] = chosen.first();
        m_rows[row]->setPath(m_files[row]);
    }
    emit fileChanged();
}

void RDPrayFileListWidget::onClickRightOpenItem()
{
    if (validRow())
        RDFileReveal::showInFolder(m_files.at(m_currentRow));
}

void RDPrayFileListWidget::onClickRightSelectFileItem()
{
    if (validRow())
        selectFile(m_currentRow);
}

void RDPrayFileListWidget::onClickRightDeleteItem()
{
    if (!validRow())
        return;
    m_files[m_currentRow].clear();
    m_rows[m_currentRow]->setPath(QString());
    emit fileChanged();
}

void RDPrayFileListWidget::onClickRightClearItem()
{
    PAAlertDialog dialog(this);
    dialog.setMessage(RDLocalize::text(QStringLiteral("Clear Pray Files")));
    if (dialog.exec() != 1)
        return;
    for (QString &file : m_files)
        file.clear();
    setFiles(m_files);
    emit fileChanged();
}

void RDPrayFileListWidget::resizeEvent(QResizeEvent *event)
{
    RDScrollArea::resizeEvent(event);
    relayout();
}

void RDPrayFileListWidget::relayout()
{
    QVector<QWidget *> rows;
    for (RDPrayFileListItemWidget *row : qAsConst(m_rows))
        rows.append(row);
    const int contentWidth = RDListRows::layoutRows(this, rows);
    m_content->resize(contentWidth, 32 * m_rows.size() + 2);
}
