#include "RDGroupSourcePrayWidget.h"

#include "PAPrayDay.h"
#include "RDLabel.h"
#include "RDLabel.h"
#include "RDPixmapButton.h"
#include "RDPrayFileListHeaderWidget.h"
#include "RDPrayFileListWidget.h"
#include "RDPrayInfoDialog.h"
#include "RDPrayLocationLabel.h"
#include "RDPrayQueryDialog.h"
#include "Velmar.h"

#include <QDate>

RDGroupSourcePrayWidget::RDGroupSourcePrayWidget(QWidget *parent)
    : RDToast(parent)
    , m_caption(new RDLabel(this))
    , m_search(new RDPixmapButton(this))
    , m_locationBox(new RDPrayLocationLabel(this))
    , m_header(new RDPrayFileListHeaderWidget(this))
    , m_list(new RDPrayFileListWidget(this))
{
    m_caption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_search->setPixmap(QStringLiteral(":/resources/search_style.svg"), 15);
    m_locationBox->setPlaceholderText(QStringLiteral("Makkah, Saudi Arabia"));
    connect(m_search, &RDPixmapButton::clicked, this, &RDGroupSourcePrayWidget::onClickLocationQuery);
    connect(m_locationBox, &RDPrayLocationLabel::clicked, this, &RDGroupSourcePrayWidget::onClickLocationEdit);
    connect(m_header->refreshButton(), &RDPixmapButton::clicked, this, &RDGroupSourcePrayWidget::onClickRefreshButton);
    connect(m_list, &RDPrayFileListWidget::fileChanged, this, &RDGroupSourcePrayWidget::fileChanged);
    languageChanged();
}

void RDGroupSourcePrayWidget::setSettings(const QString &location, int method, int school,
                                          int latitudeAdjustmentMethod)
{
    m_location = location;
    m_locationBox->setText(location);
    m_method = method;
    m_school = school;
    m_latitude = latitudeAdjustmentMethod;
}

QString RDGroupSourcePrayWidget::queryLocation() const
{
    const QString text = m_locationBox->text();
    return text.isEmpty() ? m_locationBox->placeholderText() : text;
}

PAPrayDay RDGroupSourcePrayWidget::today() const
{
    const QDate date = QDate::currentDate();
    return Velmar::getPrayDay(m_location, m_method, m_school, m_latitude, date.year(), date.month(), date.day());
}

void RDGroupSourcePrayWidget::languageChanged()
{
    m_caption->setText(RDLocalize::text(QStringLiteral("Location")));
    relayout();
}

void RDGroupSourcePrayWidget::onClickLocationLabel() {}

void RDGroupSourcePrayWidget::onClickLocationQuery()
{
    RDPrayInfoDialog dialog(this);
    dialog.init(queryLocation(), m_method, m_school, m_latitude);
    if (dialog.exec() != 1)
        return;
    setSettings(dialog.location(), dialog.method(), dialog.school(), dialog.latitudeAdjustmentMethod());
    m_list->setPrayDay(today());
    emit fileChanged();
}

void RDGroupSourcePrayWidget::onClickLocationEdit() { onClickLocationQuery(); }

void RDGroupSourcePrayWidget::onClickRefreshButton()
{
    const QDate date = QDate::currentDate();
    RDPrayQueryDialog dialog(this);
    dialog.setQuery(queryLocation(), m_method, m_school, m_latitude);
    dialog.setYearMonth(date.year(), date.month());
    if (dialog.exec() != 1)
        return;
    PAPrayDay found;
    for (const PAPrayDay &day : dialog.days()) {
        if (day.date == date) {
            found = day;
            break;
        }
    }
    m_list->setPrayDay(found);
}

void RDGroupSourcePrayWidget::resizeEvent(QResizeEvent *event)
{
    RDToast::resizeEvent(event);
    relayout();
}

void RDGroupSourcePrayWidget::relayout()
{
    const int w = width();
    const int h = height();
    m_caption->setGeometry(10, 10, m_caption->sizeHint().width(), 25);
    const int captionBottom = m_caption->geometry().bottom() + 1;
    m_locationBox->setGeometry(10, captionBottom + 5, qMax(0, w - 35), 25);
    m_search->setGeometry(m_locationBox->geometry().right() + 1 + 5, captionBottom + 10, 15, 15);
    const int headerTop = m_locationBox->geometry().bottom() + 1 + 10;
    m_header->setGeometry(0, headerTop, w, 30);
    const int headerBottom = m_header->geometry().bottom() + 1;
    m_list->setGeometry(0, headerBottom + 10, w, qMax(0, h - headerBottom - 15));
}
