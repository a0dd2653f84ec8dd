#include "RDWidgetStyle.h"

#include "RDLabel.h"
#include "RDPixmapCache.h"
#include "RDUtils.h"

#include <QComboBox>
#include <QListView>

void applyPrimaryButtonStyle(RDLabel *button)
{
    button->setCursor(Qt::PointingHandCursor);
    button->setBackgroundColor(rdThemeColor());
    button->setTextColor(QColor(255, 255, 255));
}

void applyDialogButtonStyle(RDLabel *button)
{
    button->setTextColor(QColor(255, 255, 255));
    button->setBackgroundColor(rdThemeColor());
    button->setBorder(5, 1, rdThemeColor());
    button->setCursor(Qt::PointingHandCursor);
    button->setMinimumWidth(120);
    button->setMargins(10, 0, 10, 0);
}

void setBackgroundBrush(QWidget *widget, const QColor &color)
{
    QPalette palette = widget->palette();
    palette.setBrush(QPalette::All, QPalette::Window, color);
    widget->setAutoFillBackground(true);
    widget->setPalette(palette);
}

void applyComboBoxStyle(QComboBox *combo)
{
    initWidgetResources();
    combo->setCursor(Qt::PointingHandCursor);
    combo->setView(new QListView);
    combo->setStyleSheet(QStringLiteral(
        "QComboBox{color:#222222;font-size:12px;padding: 1px 1px 1px 3px;border:1px solid #888888;"
        "border-radius:2px 2px 2px 2px;}"
        "QComboBox::drop-down {subcontrol-origin: padding;subcontrol-position: top right;width: 16px;border:none;}"
        "QComboBox::down-arrow {image: url(:/resources/drop_down_gray.svg);}"
        "QComboBox QAbstractItemView{background:rgba(255,255,255,1);border:1px solid #e4e4e4;"
        "border-radius:0px 0px 0px 0px;font-size:12px;outline: 0px;}"
        "QComboBox QAbstractItemView::item{height:25px;color:#666666;padding-left:1px;background-color:#FFFFFF;}"
        "QComboBox QAbstractItemView::item:hover{background-color:#409CE1;color:#ffffff;}"
        "QComboBox QAbstractItemView::item:selected{background-color:#409CE1;color:#ffffff;}"
        "QComboBox:on {padding-top: 1px;padding-left: 3px;}"
        "QComboBox::down-arrow:on {top: 1px;left: 1px;}"));
}

void applyMenuStyle(QWidget *menu)
{
    menu->setStyleSheet(QStringLiteral(
        "QMenu{background-color: rgba(255,255,255);font: 75 9pt \"Arial\";color:rgb(0,0,0);min-width:110px;"
        "border:1px solid rgb(200,200,200);padding: 5px 0px 5px 0px;}"
        "QMenu::item{min-width:80px;min-height:27px;background-color:rgb(255,255,255);padding: 0px 10px 0px 20px;}"
        "QMenu::item:selected{background-color:rgb(233,233,233);}"
        "QMenu::separator{height:1px;background-color:rgba(200,200,200);margin-left:1px;margin-right:1px;}"));
}

int maxAdjustedWidth(QWidget *w1, QWidget *w2, QWidget *w3, QWidget *w4)
{
    int widest = 0;
    for (QWidget *w : {w1, w2, w3, w4}) {
        if (!w)
            break;
        w->adjustSize();
        widest = qMax(widest, w->width());
    }
    return widest;
}
