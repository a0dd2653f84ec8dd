#pragma once

#include <QColor>
#include <QProxyStyle>
#include <QSize>

// Style of the vertical tab bar of the zone "more" dialog: every tab is
// 90x44; the selected one is a theme-green block with light text, the
// others show only their dark text.
class RDVerticalTabStyle : public QProxyStyle
{
    Q_OBJECT
public:
    RDVerticalTabStyle();

    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget = nullptr) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size,
                           const QWidget *widget) const override;

private:
    QSize m_tabSize = QSize(90, 44);
    QColor m_textColor = QColor(32, 32, 32);
    QColor m_selectedTextColor = QColor(248, 248, 248);
    QColor m_tabColor = QColor(255, 255, 255, 0);
    QColor m_selectedTabColor = QColor(53, 141, 0);
};
