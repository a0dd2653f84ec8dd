#include "RDPagingInfoView.h"

#include "RDLabel.h"
#include "RDLocalize.h"
#include "RDLog.h"

#include <QLineEdit>

RDPagingInfoView::RDPagingInfoView(QWidget *parent)
    : RDWidget(parent)
    , m_pageLabel(new RDLabel(this))
    , m_gotoLabel(new RDLabel(this))
    , m_entry(new QLineEdit(this))
    , m_unitLabel(new RDLabel(this))
    , m_go(new RDLabel(this))
{
    m_pageLabel->setObjectName(QStringLiteral("pageLabel"));
    m_go->setObjectName(QStringLiteral("goButton"));
    m_entry->setAlignment(Qt::AlignCenter);
    m_go->setMargins(10, 0, 10, 0);
    m_go->setBorder(0, 1, QColor(100, 149, 237));
    m_go->setTextColor(QColor(100, 149, 237));
    m_go->setCursor(Qt::PointingHandCursor);
    for (RDLabel *label : {m_pageLabel, m_gotoLabel, m_unitLabel, m_go}) {
        label->setAlignment(Qt::AlignCenter);
        label->setMinimumHeight(30);
        if (label != m_go)
            label->setTextColor(QColor(0, 0, 0));
        label->show();
    }
    connect(m_go, &RDLabel::clicked, this, &RDPagingInfoView::onClickGotoPage, Qt::QueuedConnection);
    connect(m_entry, &QLineEdit::returnPressed, this, &RDPagingInfoView::onClickGotoPage, Qt::QueuedConnection);
    retranslate();
}

void RDPagingInfoView::setCounter(int current, int count)
{
    m_pageLabel->setText(QStringLiteral("%1 / %2").arg(current).arg(count));
    relayout();
}

void RDPagingInfoView::retranslate()
{
    m_gotoLabel->setText(RDLocalize::text(QStringLiteral("Go to")));
    m_unitLabel->setText(RDLocalize::text(QStringLiteral("Page")));
    m_go->setText(RDLocalize::text(QStringLiteral("Go")));
    relayout();
}

QSize RDPagingInfoView::sizeHint() const
{
    int width = 0;
    for (RDLabel *label : {m_pageLabel, m_gotoLabel, m_unitLabel, m_go}) {
        label->adjustSize();
        width += label->width();
    }
    return QSize(width + 70, 30);
}

void RDPagingInfoView::onClickGotoPage()
{
    const QString text = m_entry->text();
    m_entry->clear();
    bool ok = false;
    const int page = text.toInt(&ok, 10);
    if (!ok)
        return;
    emit gotoPage(page - 1);
}

void RDPagingInfoView::resizeEvent(QResizeEvent *event)
{
    RDWidget::resizeEvent(event);
    relayout();
}

void RDPagingInfoView::relayout()
{
    const int h = height();
    RDLogDetail(__FILE__, "RDPagingInfoView::relayout", __LINE__, 5, "info view relayout(%d, %d)\n", width(), h);
    for (RDLabel *label : {m_pageLabel, m_gotoLabel, m_unitLabel, m_go})
        label->adjustSize();
    m_pageLabel->setGeometry(5, 0, m_pageLabel->width() + 10, h);
    m_gotoLabel->setGeometry(m_pageLabel->geometry().right() + 5, 0, m_gotoLabel->width(), h);
    m_entry->setGeometry(m_gotoLabel->geometry().right() + 5, 0, 30, h);
    m_unitLabel->setGeometry(m_entry->geometry().right() + 5, 0, m_unitLabel->width(), h);
    m_go->setGeometry(m_unitLabel->geometry().right() + 5, 0, m_go->width(), h);
}
