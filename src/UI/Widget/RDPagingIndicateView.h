#pragma once

#include "RDLocalize.h"
#include "RDWidget.h"

#include <QList>

class RDPagingInfoView;
class RDPagingItemView;

// Page selector of long lists: up to eleven numbered buttons around the
// current page, then the page counter and a go-to entry (shown from two
// pages on). The owner gives the item count and page size and follows
// currentPageChanged(), which always arrives on a later turn of the loop.
class RDPagingIndicateView : public RDWidget, public RDLocalize
{
    Q_OBJECT
public:
    explicit RDPagingIndicateView(QWidget *parent = nullptr);
    ~RDPagingIndicateView() override;

    // pageSize must be above 0.
    void setItemCount(int items, int pageSize);
    void setPageCount(int count);
    // Moves to `page` (kept inside the pages there are) without announcing
    // it: for an owner that has just shown that page itself.
    void setCurrentPage(int page);
    int pageCount() const { return m_pageCount; }
    int currentPage() const { return m_currentPage; }
    int firstShownPage() const { return m_firstPage; }
    // Labels of the page buttons, left to right, and the selected one's index.
    QStringList buttonLabels() const;
    int selectedButton() const;
    QList<RDPagingItemView *> buttons() const { return m_buttons; }
    RDPagingInfoView *infoView() const { return m_info; }

    QSize sizeHint() const override;
    void languageChanged() override;

signals:
    void currentPageChanged(int page);

protected:
    void resizeEvent(QResizeEvent *event) override;

private slots:
    void onClickItemView(RDPagingItemView *view);
    void onGotoPage(int page);

private:
    void updateWindow();
    void relayout();

    int m_firstPage = 0;
    int m_currentPage = 0;
    int m_pageCount = 0;
    RDPagingInfoView *m_info;
    QList<RDPagingItemView *> m_buttons;
};
