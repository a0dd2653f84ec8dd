#pragma once

#include "RDDialog.h"
#include "RDDialogFrame.h"
#include "RDLocalize.h"

#include <QPoint>
#include <QPointer>

class RDDialogLoadingWidget;
class RDTimer;
class RDWidget;

// Fixed-size frameless dialog: drawn frame with icon, title, minimize and
// close, moved by its title bar, with a busy overlay over the body. Screens
// place their widgets (children of body()) in relayoutContents().
class RDBaseDialog : public RDDialog, public RDLocalize
{
    Q_OBJECT
public:
    explicit RDBaseDialog(QWidget *parent = nullptr);
    ~RDBaseDialog() override;

    RDWidget *body() const { return m_frame.body; }
    RDWidget *contentsWidget() const { return m_frame.contents; }
    RDWidget *titleBar() const { return m_frame.titleBar; }
    void setOuterMargin(int margin);
    int outerMargin() const { return m_outerMargin; }
    bool isDragging() const { return m_dragging; }
    RDDialogLoadingWidget *loadingWidget() const;
    bool hasLoadingTimer() const;

    void languageChanged() override;

public slots:
    // Any thread. The overlay stays `ms` milliseconds, or until
    // hideLoading() when ms <= 0; the short form stays 10 s.
    void showLoading(int ms);
    void showLoading();
    void hideLoading();
    void invokeHideLoadingTimer();

protected:
    virtual void relayout(int width, int height);
    virtual void relayoutTitleBar(int width, int height);
    virtual void relayoutContents(int width, int height);
    virtual void minimizeDialog();
    virtual void closeDialog();

    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

    RDDialogFrame m_frame;

private:
    bool m_dragging = false;
    QPoint m_lastGlobal;
    int m_outerMargin = 0;
    QPointer<RDDialogLoadingWidget> m_loading;
    QPointer<RDTimer> m_loadingTimer;
};
