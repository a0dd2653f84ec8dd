#include "RDPagingIndicateView.h"

#include "RDPagingInfoView.h"
#include "RDPagingItemView.h"

namespace {
const int kMaxButtons = 11;
}

RDPagingIndicateView::RDPagingIndicateView(QWidget *parent)
    : RDWidget(parent)
    , m_info(new RDPagingInfoView(this))
{
    qRegisterMetaType<RDPagingItemView *>("RDPagingItemView*");
    connect(m_info, &RDPagingInfoView::gotoPage, this, &RDPagingIndicateView::onGotoPage, Qt::QueuedConnection);
    m_info->hide();
    updateWindow();
}

RDPagingIndicateView::~RDPagingIndicateView() = default;

void RDPagingIndicateView::setItemCount(int items, int pageSize)
{
    if (pageSize <= 0)
        pageSize = 1;
    setPageCount((qMax(0, items) + pageSize - 1) / pageSize);
}

void RDPagingIndicateView::setPageCount(int count)
{
    m_pageCount = qMax(0, count);
    qDeleteAll(m_buttons);
    m_buttons.clear();
    const int n = qMin(m_pageCount, kMaxButtons);
    for (int i = 0; i < n; ++i) {
        auto *button = new RDPagingItemView(this);
        connect(button, &RDPagingItemView::clicked, this, &RDPagingIndicateView::onClickItemView,
                Qt::QueuedConnection);
        button->show();
        m_buttons.append(button);
    }
    // A shorter list keeps the current page inside it; the owner hears of the move.
    const int last = qMax(0, m_pageCount - 1);
    const bool moved = m_currentPage > last;
    if (moved)
        m_currentPage = last;
    updateWindow();
    m_info->setVisible(m_pageCount >= 2);
    relayout();
    if (moved)
        QMetaObject::invokeMethod(this, [this, page = m_currentPage] { emit currentPageChanged(page); },
                                  Qt::QueuedConnection);
}

QStringList RDPagingIndicateView::buttonLabels() const
{
    QStringList labels;
    for (RDPagingItemView *b : m_buttons)
        labels.append(b->label());
    return labels;
}

int RDPagingIndicateView::selectedButton() const
{
    for (int i = 0; i < m_buttons.size(); ++i) {
        if (m_buttons[i]->isSelected())
            return i;
    }
    return -1;
}

void RDPagingIndicateView::updateWindow()
{
    const int n = m_buttons.size();
    const int half = (n - 1) / 2;
    int first;
    if (m_currentPage < half)
        first = 0;
    else if (m_currentPage < m_pageCount - (n - half - 1))
        first = m_currentPage - half;
    else
        first = m_pageCount - n;
    m_firstPage = qMax(0, first);
    for (int i = 0; i < n; ++i) {
        const int page = m_firstPage + i;
        m_buttons[i]->setPage(page, QString::number(page + 1), page == m_currentPage);
    }
    m_info->setCounter(m_currentPage + 1, m_pageCount);
}

QSize RDPagingIndicateView::sizeHint() const
{
    return QSize(qMin(m_pageCount, m_buttons.size()) * 35 + m_info->sizeHint().width(), 30);
}

void RDPagingIndicateView::languageChanged()
{
    m_info->retranslate();
    relayout();
}

void RDPagingIndicateView::resizeEvent(QResizeEvent *event)
{
    RDWidget::resizeEvent(event);
    relayout();
}

void RDPagingIndicateView::relayout()
{
    const int n = m_buttons.size();
    const int infoWidth = m_info->sizeHint().width();
    const int x0 = (width() - n * 35 - infoWidth) / 2;
    const int y = (height() - 30) / 2;
    for (int i = 0; i < n; ++i)
        m_buttons[i]->setGeometry(x0 + 35 * i, y, 30, 30);
    m_info->setGeometry(x0 + 35 * n, y, infoWidth, 30);
}

void RDPagingIndicateView::onClickItemView(RDPagingItemView *view)
{
    // The click was queued: the buttons may have been rebuilt since.
    if (!m_buttons.contains(view))
        return;
    m_currentPage = view->page();
    updateWindow();
    relayout();
    emit currentPageChanged(m_currentPage);
}

void RDPagingIndicateView::setCurrentPage(int page)
{
    m_currentPage = qBound(0, page, qMax(0, m_pageCount - 1));
    updateWindow();
    relayout();
}

void RDPagingIndicateView::onGotoPage(int page)
{
    if (page < 0 || page >= m_pageCount)
        return;
    m_currentPage = page;
    updateWindow();
    relayout();
    emit currentPageChanged(page);
}
