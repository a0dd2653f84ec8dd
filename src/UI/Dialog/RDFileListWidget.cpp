#include "RDFileListWidget.h"

#include "PAAlertDialog.h"
#include "RDAudioFileFilter.h"
#include "RDFileListItemWidget.h"
#include "RDFileListTailWidget.h"
#include "RDFileReveal.h"
#include "RDListRows.h"
#include "RDModal.h"
#include "RDPixmapButton.h"
#include "RDWidget.h"
#include "RDWidgetStyle.h"

#include <QMenu>

RDFileListWidget::RDFileListWidget(QWidget *parent)
    : QScrollArea(parent)
    , m_content(new RDWidget())
    , m_tail(new RDFileListTailWidget(m_content))
{
    setFrameShape(QFrame::NoFrame);
    setContentsMargins(0, 0, 0, 0);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setStyleSheet(QStringLiteral("QScrollArea { background: white; }"));
    m_content->setBackgroundColor(Qt::white);
    setWidget(m_content);
    setWidgetResizable(false);
    connect(m_tail->addButton(), &RDPixmapButton::clicked, this, &RDFileListWidget::onClickAddButton);
    relayout();
}

RDFileListWidget::~RDFileListWidget() { delete m_menu; }

void RDFileListWidget::setFiles(const QVector<QString> &files)
{
    m_files = files;
    while (m_rows.size() > files.size()) {
        RDFileListItemWidget *row = m_rows.takeLast();
        row->hide();
        row->deleteLater();
    }
    while (m_rows.size() < files.size()) {
        auto *row = new RDFileListItemWidget(m_content);
        connect(row, &RDFileListItemWidget::clicked, this, &RDFileListWidget::onClickItemWidget);
        connect(row, &RDFileListItemWidget::rightClicked, this, &RDFileListWidget::onRightClickItemWidget);
        row->show();
        m_rows.append(row);
    }
    for (int i = 0; i < files.size(); ++i)
        m_rows[i]->setPath(files[i]);
    relayout();
}

void RDFileListWidget::setEditable(bool editable)
{
    m_enabled = editable;
    if (!editable)
        RDListRows::closeMenu(m_menu);
}

void RDFileListWidget::setPlayIndex(int index, double position)
{
    RDListRows::setPlayIndex(m_rows, index, position);
}

void RDFileListWidget::onClickAddButton()
{
    if (!m_enabled)
        return;
    const QStringList chosen = RDModal::getOpenFileNames(this, RDLocalize::text(QStringLiteral("Add")), QString(),
                                                         RDAudioFileFilter::basicFilter());
    if (chosen.isEmpty())
        return;
    for (const QString &file : chosen)
        m_files.append(file);
    commitChange();
}

void RDFileListWidget::onClickItemWidget(RDFileListItemWidget *widget)
{
    const int index = m_rows.indexOf(widget);
    if (index < 0)
        return;
    emit clickMedia(widget->path(), index);
}

void RDFileListWidget::onRightClickItemWidget(RDFileListItemWidget *widget, QPoint pos)
{
    if (!m_enabled)
        return;
    RDListRows::closeMenu(m_menu);
    m_currentRow = m_rows.indexOf(widget);
    m_menu = new QMenu();
    applyMenuStyle(m_menu);
    m_menu->addAction(RDLocalize::text(QStringLiteral("Top")), this, &RDFileListWidget::onClickRightTopItem);
    m_menu->addSeparator();
    m_menu->addAction(RDLocalize::text(QStringLiteral("Open In Explorer")), this,
                      &RDFileListWidget::onClickRightOpenItem);
    m_menu->addSeparator();
    m_menu->addAction(RDLocalize::text(QStringLiteral("Add")), this, &RDFileListWidget::onClickRightAddItem);
    m_menu->addSeparator();
    m_menu->addAction(RDLocalize::text(QStringLiteral("Delete")), this, &RDFileListWidget::onClickRightDeleteItem);
    m_menu->addSeparator();
    m_menu->addAction(RDLocalize::text(QStringLiteral("Clear")), this, &RDFileListWidget::onClickRightClearItem);
    m_menu->popup(widget ? widget->mapToGlobal(pos) : mapToGlobal(pos));
}

void RDFileListWidget::onClickRightTopItem()
{
    if (!validRow())
        return;
    m_files.prepend(m_files.takeAt(m_currentRow));
    commitChange();
}

void RDFileListWidget::onClickRightOpenItem()
{
    if (validRow())
        RDFileReveal::showInFolder(m_files.at(m_currentRow));
}

void RDFileListWidget::onClickRightAddItem()
{
    const QStringList chosen = RDModal::getOpenFileNames(this, RDLocalize::text(QStringLiteral("Add")), QString(),
                                                         RDAudioFileFilter::extendedFilter());
    if (chosen.isEmpty())
        return;
    int at = validRow() ? m_currentRow : m_files.size();
    for (const QString &file : chosen)
        m_files.insert(at++, file);
    commitChange();
}

void RDFileListWidget::onClickRightDeleteItem()
{
    if (!validRow())
        return;
    m_files.removeAt(m_currentRow);
    m_currentRow = -1;
    commitChange();
}

void RDFileListWidget::onClickRightClearItem()
{
    PAAlertDialog dialog(this);
    dialog.setMessage(RDLocalize::text(QStringLiteral("Clear medium")));
    if (dialog.exec() != 1)
        return;
    m_files.clear();
    m_currentRow = -1;
    commitChange();
}

void RDFileListWidget::commitChange()
{
    setFiles(m_files);
    emit mediaChanged();
}

void RDFileListWidget::resizeEvent(QResizeEvent *event)
{
    QScrollArea::resizeEvent(event);
    relayout();
}

void RDFileListWidget::relayout()
{
    // The tail row stands in the same column after the last file.
    QVector<QWidget *> rows;
    for (RDFileListItemWidget *row : qAsConst(m_rows))
        rows.append(row);
    rows.append(m_tail);
    const int contentWidth = RDListRows::layoutRows(this, rows);
    m_content->resize(contentWidth, 32 * m_rows.size() + 34);
}
