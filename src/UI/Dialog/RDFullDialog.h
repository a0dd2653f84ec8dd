#pragma once

#include "RDDialog.h"
#include "RDDialogFrame.h"
#include "RDLocalize.h"

#include <QPoint>
#include <QPointer>
#include <QRect>

class RDWidget;

// Resizable frameless window (the main window): minimize, maximize and
// close in its title bar; moved by a press on the title bar, icon or title,
// resized from a 4 px border unless maximized. The window manager moves and
// resizes it when it can; otherwise the window follows the mouse itself.
class RDFullDialog : public RDDialog, public RDLocalize
{
    Q_OBJECT
public:
    explicit RDFullDialog(QWidget *parent = nullptr);
    ~RDFullDialog() override;

    RDWidget *body() const { return m_frame.body; }
    RDWidget *titleBar() const { return m_frame.titleBar; }
    // The widget relayoutContents() stretches over the whole body.
    void setContentsWidget(QWidget *widget);
    void setOuterMargin(int margin);

    // The window edges a press at `pos` resizes from: the 4 px border of a
    // w x h window, corners first; none when maximized or inside.
    static Qt::Edges resizeEdges(const QPoint &pos, const QSize &size, bool maximized);

    void languageChanged() override;

protected:
    virtual void relayout(int width, int height);
    virtual void relayoutTitleBar(int width, int height);
    virtual void relayoutContents(int width, int height);
    virtual void minimizeDialog();
    virtual void toggleMaximize();
    virtual void closeDialog();
    virtual bool isTitleWidget(QWidget *widget);

    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

    RDDialogFrame m_frame;

private:
    QPointer<QWidget> m_contentsWidget;
    int m_outerMargin = 0;
    // Moving or resizing by hand (no window manager help).
    Qt::Edges m_edges;
    bool m_moving = false;
    QPoint m_pressGlobal;
    QRect m_pressGeometry;
};
