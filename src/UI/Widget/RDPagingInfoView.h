#pragma once

#include "RDWidget.h"

class QLineEdit;
class RDLabel;

// The pager's tail: "current / count", then "Go to [ n ] Page  Go". A page
// number typed and confirmed (Go or Enter) is asked for as a 0-based page.
class RDPagingInfoView : public RDWidget
{
    Q_OBJECT
public:
    explicit RDPagingInfoView(QWidget *parent = nullptr);

    void setCounter(int current, int count);
    void retranslate();
    QSize sizeHint() const override;

    RDLabel *pageLabel() const { return m_pageLabel; }
    QLineEdit *entry() const { return m_entry; }
    RDLabel *goButton() const { return m_go; }

signals:
    void gotoPage(int page);

protected:
    void resizeEvent(QResizeEvent *event) override;

private slots:
    void onClickGotoPage();

private:
    void relayout();

    RDLabel *m_pageLabel;
    RDLabel *m_gotoLabel;
    QLineEdit *m_entry;
    RDLabel *m_unitLabel;
    RDLabel *m_go;
};
