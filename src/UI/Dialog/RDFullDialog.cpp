#include "RDFullDialog.h"

#include "RDDialogButton.h"
#include "RDWidget.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QWindow>

namespace {
const int kBorder = 4;
}

RDFullDialog::RDFullDialog(QWidget *parent)
    : RDDialog(parent)
    , m_frame(this, true, QColor(242, 243, 245))
{
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setMouseTracking(true);
    connect(m_frame.close, &RDDialogButton::clicked, this, [this] { closeDialog(); });
    connect(m_frame.minimize, &RDDialogButton::clicked, this, [this] { minimizeDialog(); });
    connect(m_frame.maximize, &RDDialogButton::clicked, this, [this] { toggleMaximize(); });
    RDFullDialog::languageChanged();
}

RDFullDialog::~RDFullDialog() = default;

void RDFullDialog::setContentsWidget(QWidget *widget)
{
    m_contentsWidget = widget;
    if (widget && widget->parentWidget() != m_frame.body)
        widget->setParent(m_frame.body);
    relayout(width(), height());
}

void RDFullDialog::setOuterMargin(int margin)
{
    m_outerMargin = margin;
    relayout(width(), height());
}

void RDFullDialog::languageChanged()
{
    m_frame.retranslate();
}

Qt::Edges RDFullDialog::resizeEdges(const QPoint &p, const QSize &size, bool maximized)
{
    if (maximized)
        return {};
    const int w = size.width();
    const int h = size.height();
    const int b = kBorder;
    if (QRect(0, 0, b, b).contains(p))
        return Qt::TopEdge | Qt::LeftEdge;
    if (QRect(0, b, b, h - 2 * b).contains(p))
        return Qt::LeftEdge;
    if (QRect(w - b, 0, b, b).contains(p))
        return Qt::TopEdge | Qt::RightEdge;
    if (QRect(w - b, b, b, h - 2 * b).contains(p))
        return Qt::RightEdge;
    if (QRect(b, 0, w - 2 * b, b).contains(p))
        return Qt::TopEdge;
    if (QRect(0, h - b, b, b).contains(p))
        return Qt::BottomEdge | Qt::LeftEdge;
    if (QRect(w - b, h - b, b, b).contains(p))
        return Qt::BottomEdge | Qt::RightEdge;
    if (QRect(b, h - b, w - 2 * b, b).contains(p))
        return Qt::BottomEdge;
    return {};
}

void RDFullDialog::relayout(int width, int height)
{
    const int m = isMaximized() ? 0 : m_outerMargin;
    m_frame.relayout(width, height, m, contentsMargins());
    relayoutTitleBar(m_frame.titleBar->width(), m_frame.titleBar->height());
    relayoutContents(m_frame.body->width(), m_frame.body->height());
}

void RDFullDialog::relayoutTitleBar(int, int) {}

void RDFullDialog::relayoutContents(int width, int height)
{
    if (m_contentsWidget)
        m_contentsWidget->setGeometry(0, 0, width, height);
}

void RDFullDialog::minimizeDialog()
{
    showMinimized();
}

void RDFullDialog::toggleMaximize()
{
    if (isMaximized())
        showNormal();
    else
        showMaximized();
}

void RDFullDialog::closeDialog()
{
    QWidget::close();
}

bool RDFullDialog::isTitleWidget(QWidget *widget)
{
    return m_frame.isTitleWidget(widget);
}

void RDFullDialog::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    relayout(width(), height());
}

void RDFullDialog::closeEvent(QCloseEvent *event)
{
    closeDialog();
    event->accept();
}

void RDFullDialog::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    // The outer margin goes and comes back with the maximized state.
    if (event->type() == QEvent::WindowStateChange)
        relayout(width(), height());
}

void RDFullDialog::mousePressEvent(QMouseEvent *event)
{
    QDialog::mousePressEvent(event);
    m_moving = false;
    m_edges = {};
    if (event->button() != Qt::LeftButton)
        return;
    const Qt::Edges edges = resizeEdges(event->pos(), size(), isMaximized());
    QWindow *window = windowHandle();
    if (edges) {
        if (window && window->startSystemResize(edges))
            return;
        m_edges = edges;
    } else if (isTitleWidget(childAt(event->pos()))) {
        if (window && window->startSystemMove())
            return;
        m_moving = true;
    } else {
        return;
    }
    event->accept();
    m_pressGlobal = event->globalPos();
    m_pressGeometry = geometry();
}

void RDFullDialog::mouseMoveEvent(QMouseEvent *event)
{
    QDialog::mouseMoveEvent(event);
    if (!(event->buttons() & Qt::LeftButton)) {
        const Qt::Edges edges = resizeEdges(event->pos(), size(), isMaximized());
        if (edges == (Qt::TopEdge | Qt::LeftEdge) || edges == (Qt::BottomEdge | Qt::RightEdge))
            setCursor(Qt::SizeFDiagCursor);
        else if (edges == (Qt::TopEdge | Qt::RightEdge) || edges == (Qt::BottomEdge | Qt::LeftEdge))
            setCursor(Qt::SizeBDiagCursor);
        else if (edges & (Qt::LeftEdge | Qt::RightEdge))
            setCursor(Qt::SizeHorCursor);
        else if (edges)
            setCursor(Qt::SizeVerCursor);
        else
            unsetCursor();
        return;
    }
    const QPoint d = event->globalPos() - m_pressGlobal;
    if (m_moving) {
        move(m_pressGeometry.topLeft() + d);
        return;
    }
    if (!m_edges)
        return;
    QRect g = m_pressGeometry;
    const QSize least = minimumSize().expandedTo(QSize(2 * kBorder + 1, 2 * kBorder + 1));
    if (m_edges & Qt::LeftEdge)
        g.setLeft(qMin(g.left() + d.x(), g.right() - least.width() + 1));
    if (m_edges & Qt::RightEdge)
        g.setRight(qMax(g.right() + d.x(), g.left() + least.width() - 1));
    if (m_edges & Qt::TopEdge)
        g.setTop(qMin(g.top() + d.y(), g.bottom() - least.height() + 1));
    if (m_edges & Qt::BottomEdge)
        g.setBottom(qMax(g.bottom() + d.y(), g.top() + least.height() - 1));
    setGeometry(g);
}

void RDFullDialog::mouseReleaseEvent(QMouseEvent *event)
{
    QDialog::mouseReleaseEvent(event);
    m_moving = false;
    m_edges = {};
}
