#include "RDHomeHeaderWidget.h"

#include "RDHomeHeaderButton.h"
#include "RDPixmapCache.h"

RDHomeHeaderWidget::RDHomeHeaderWidget(QWidget *parent)
    : RDWidget(parent)
    , m_save(new RDHomeHeaderButton(this))
    , m_devices(new RDHomeHeaderButton(this))
    , m_options(new RDHomeHeaderButton(this))
{
    initWidgetResources();
    m_save->setObjectName(QStringLiteral("saveButton"));
    m_devices->setObjectName(QStringLiteral("devicesButton"));
    m_options->setObjectName(QStringLiteral("optionsButton"));
    retranslate();
    setBorder(1, 2, QColor(53, 141, 0));
    setBackgroundColor(Qt::white);
}

void RDHomeHeaderWidget::retranslate()
{
    const struct
    {
        RDHomeHeaderButton *button;
        const char *key;
        const char *image;
    } buttons[] = {
        {m_save, "Save Configure", ":/resources/save.svg"},
        {m_devices, "Devices", ":/resources/devices.svg"},
        {m_options, "Options", ":/resources/options.svg"},
    };
    for (const auto &b : buttons) {
        const QString text = RDLocalize::text(QLatin1String(b.key));
        b.button->setText(text);
        b.button->setImage(scaledPixmap(QLatin1String(b.image), 20));
        b.button->setToolTip(text);
        b.button->update();
    }
    relayout();
}

void RDHomeHeaderWidget::resizeEvent(QResizeEvent *event)
{
    RDWidget::resizeEvent(event);
    relayout();
}

void RDHomeHeaderWidget::relayout()
{
    int x = 1;
    for (RDHomeHeaderButton *button : {m_save, m_devices, m_options}) {
        const QSize size = button->sizeHint();
        button->setGeometry(x, (height() - size.height()) / 2 + 1, size.width(), size.height());
        x = button->geometry().right() + 2;
    }
}
