#pragma once

#include "RDWidget.h"

// One numbered page button of the pager: white with a black outline, or
// theme green with white text while it is the current page.
class RDPagingItemView : public RDWidget
{
    Q_OBJECT
public:
    explicit RDPagingItemView(QWidget *parent = nullptr);

    void setPage(int page, const QString &label, bool selected);
    int page() const { return m_page; }
    QString label() const { return m_label; }
    bool isSelected() const { return m_selected; }
    QSize sizeHint() const override;

signals:
    void clicked(RDPagingItemView *view);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    int m_page = 0;
    QString m_label;
    bool m_selected = false;
};

Q_DECLARE_METATYPE(RDPagingItemView *)
