#include "RDOnvifListItemWidget.h"

#include "RDLabel.h"

#include <QMouseEvent>

RDOnvifListItemWidget::RDOnvifListItemWidget(QWidget *parent)
    : RDWidget(parent)
    , m_urlName(new RDLabel(this))
    , m_url(new RDLabel(this))
    , m_mainName(new RDLabel(this))
    , m_main(new RDLabel(this))
    , m_subName(new RDLabel(this))
    , m_sub(new RDLabel(this))
{
    for (RDLabel *label : {m_urlName, m_url, m_mainName, m_main, m_subName, m_sub}) {
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setTextColor(QColor(0, 0, 0));
        // Clicks on the texts select the item too.
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    setBorder(5, 1, QColor(255, 255, 255));
    setSelected(false);
    RDOnvifListItemWidget::languageChanged();
}

void RDOnvifListItemWidget::languageChanged()
{
    m_urlName->setText(RDLocalize::text(QStringLiteral("Url")));
    m_mainName->setText(RDLocalize::text(QStringLiteral("Main Stream")));
    m_subName->setText(RDLocalize::text(QStringLiteral("Sub Stream")));
}

void RDOnvifListItemWidget::setDevice(const QOnvifDevice &device)
{
    m_device = device;
    const QVector<QOnvifDeviceProfile> &profiles = m_device.profiles();
    m_url->setText(m_device.address());
    m_main->setText(profiles.size() > 0 ? profiles.at(0).uri() : QString());
    m_sub->setText(profiles.size() > 1 ? profiles.at(1).uri() : QString());
}

QString RDOnvifListItemWidget::urlText() const
{
    return m_url->text();
}

QString RDOnvifListItemWidget::mainStreamText() const
{
    return m_main->text();
}

QString RDOnvifListItemWidget::subStreamText() const
{
    return m_sub->text();
}

void RDOnvifListItemWidget::setSelected(bool selected)
{
    m_selected = selected;
    setBackgroundColor(selected ? QColor(70, 141, 218) : QColor(229, 229, 229));
}

void RDOnvifListItemWidget::mouseReleaseEvent(QMouseEvent *event)
{
    RDWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton)
        emit clickItemWidget(this);
}

void RDOnvifListItemWidget::resizeEvent(QResizeEvent *event)
{
    RDWidget::resizeEvent(event);
    const int w = width();
    RDLabel *const names[] = {m_urlName, m_mainName, m_subName};
    RDLabel *const values[] = {m_url, m_main, m_sub};
    const int rows[] = {5, 30, 55};
    for (int i = 0; i < 3; ++i) {
        names[i]->setGeometry(10, rows[i], 100, 20);
        values[i]->setGeometry(120, rows[i], qMax(0, w - 130), 20);
    }
}
