#include "RDVerticalTabStyle.h"

#include <QPainter>
#include <QStyleOptionTab>

RDVerticalTabStyle::RDVerticalTabStyle() = default;

void RDVerticalTabStyle::drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                                     const QWidget *widget) const
{
    if (element == CE_TabBarTab) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    if (element != CE_TabBarTabLabel)
        return;
    const auto *tab = qstyleoption_cast<const QStyleOptionTab *>(option);
    if (!tab)
        return;
    const bool selected = tab->state & QStyle::State_Selected;
    const QRect r = tab->rect;
    painter->save();
    painter->setPen(selected ? m_selectedTabColor : m_tabColor);
    painter->setBrush(selected ? m_selectedTabColor : m_tabColor);
    painter->drawRect(r.adjusted(6, 6, -6, -6));
    painter->restore();
    painter->save();
    painter->setPen(selected ? m_selectedTextColor : m_textColor);
    painter->drawText(r, Qt::AlignCenter, tab->text);
    painter->restore();
}

QSize RDVerticalTabStyle::sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size,
                                           const QWidget *widget) const
{
    if (type == CT_TabBarTab)
        return m_tabSize;
    return QProxyStyle::sizeFromContents(type, option, size, widget);
}
