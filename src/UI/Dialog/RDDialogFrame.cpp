#include "RDDialogFrame.h"

#include "RDDefaultFont.h"
#include "RDDialogButton.h"
#include "RDLabel.h"
#include "RDLocalize.h"
#include "RDPixmapButton.h"
#include "RDPixmapCache.h"
#include "RDUtils.h"
#include "RDWidget.h"

#include <QCoreApplication>

namespace {

RDDialogButton *titleButton(QWidget *parent, const char *normal, const char *hover, const QColor &hoverColor)
{
    auto *button = new RDDialogButton(parent);
    button->setPixmaps(scaledPixmap(QLatin1String(normal), 20), scaledPixmap(QLatin1String(hover), 20));
    button->setColors(QColor(0, 0, 0, 0), hoverColor);
    return button;
}

} // namespace

RDDialogFrame::RDDialogFrame(QWidget *dialog, bool withMaximize, const QColor &contentsBackground)
    : contents(new RDWidget(dialog))
    , body(new RDWidget(contents))
    , titleBar(new RDWidget(contents))
    , icon(new RDPixmapButton(titleBar))
    , title(new RDLabel(titleBar))
    , minimize(titleButton(titleBar, ":/resources/minimized_black.svg", ":/resources/minimized_hover.svg",
                           QColor(0, 0, 0, 32)))
    , maximize(withMaximize ? titleButton(titleBar, ":/resources/maximized_black.svg",
                                          ":/resources/maximized_hover.svg", QColor(0, 0, 0, 32))
                            : nullptr)
    , close(titleButton(titleBar, ":/resources/close_black.svg", ":/resources/close_hover.svg", QColor(224, 16, 16)))
    , titleLine(new RDWidget(titleBar))
{
    contents->setObjectName(QStringLiteral("contents"));
    body->setObjectName(QStringLiteral("body"));
    titleBar->setObjectName(QStringLiteral("titleBar"));
    icon->setObjectName(QStringLiteral("icon"));
    title->setObjectName(QStringLiteral("title"));
    minimize->setObjectName(QStringLiteral("minimize"));
    close->setObjectName(QStringLiteral("close"));
    if (maximize)
        maximize->setObjectName(QStringLiteral("maximize"));

    contents->setBackgroundColor(contentsBackground);
    contents->setBorder(0, 1, QColor(85, 85, 85));
    titleBar->setBackgroundColor(QColor(255, 255, 255));
    icon->setPixmap(QStringLiteral(":/resources/icon.svg"), 15);
    icon->setCursor(Qt::ArrowCursor);
    // A press on the icon belongs to the title bar: it moves the window.
    icon->setAttribute(Qt::WA_TransparentForMouseEvents, true);
    title->setTextColor(QColor(0, 0, 0));
    title->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    titleLine->setBackgroundColor(rdThemeColor());
}

void RDDialogFrame::relayout(int w, int h, int m, const QMargins &cm)
{
    contents->setGeometry(m, m, w - 2 * m, h - 2 * m);
    const int b = contents->borderWidth();
    const int W = contents->width();
    const int H = contents->height();
    titleBar->setGeometry(b, b, W - 2 * b, cm.top() + 35);
    const int titleBottom = titleBar->y() + titleBar->height() - 1;
    body->setGeometry(cm.left() + b, titleBottom, (W - 2 * b) - cm.left() - cm.right(),
                      H - titleBottom - cm.bottom() - b);
    const int tw = titleBar->width();
    close->setGeometry(tw - 40 - cm.right(), cm.top(), 40, 35);
    RDDialogButton *leftOfMinimize = close;
    if (maximize) {
        maximize->setGeometry(close->x() - 40, cm.top(), 40, 35);
        leftOfMinimize = maximize;
    }
    minimize->setGeometry(leftOfMinimize->x() - 40, cm.top(), 40, 35);
    icon->setGeometry(cm.left() + 10, cm.top() + 10, 15, 15);
    title->setGeometry(icon->geometry().right() + 5, cm.top(), minimize->x() - cm.left() - 10, 35);
    titleLine->setGeometry(0, titleBar->height() - 1, tw, 1);
}

void RDDialogFrame::retranslate()
{
    title->setText(QCoreApplication::applicationName());
    minimize->setToolTip(RDLocalize::text(QStringLiteral("Minimized")));
    if (maximize)
        maximize->setToolTip(RDLocalize::text(QStringLiteral("Maximized")));
    close->setToolTip(RDLocalize::text(QStringLiteral("Close")));
}

bool RDDialogFrame::isTitleWidget(const QWidget *widget) const
{
    return widget == titleBar || widget == icon || widget == title;
}
