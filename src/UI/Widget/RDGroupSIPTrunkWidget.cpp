#include "RDGroupSIPTrunkWidget.h"

#include "RDGroup.h"
#include "RDPixmapButton.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

namespace {

const char *const kLabels[RDGroupSIPTrunkWidget::FieldCount] = {
    "SIP Server", "SIP port", "SIP Number", "Display Name", "SIP Password", "Expire Time"};
const char *const kPlaceholders[RDGroupSIPTrunkWidget::FieldCount] = {
    "Please input SIP server",   "Please input SIP port",     "Please input SIP number",
    "Please input display name", "Please input SIP password", "Please input expire time"};

} // namespace

RDGroupSIPTrunkWidget::RDGroupSIPTrunkWidget(QWidget *parent)
    : RDWidget(parent)
    , m_enable(new QCheckBox(this))
    , m_enableLabel(new QLabel(this))
    , m_statusLabel(new QLabel(this))
    , m_status(new QLabel(this))
    , m_refresh(new RDPixmapButton(this))
{
    for (int i = 0; i < FieldCount; ++i)
        m_labels.append(new QLabel(this));
    for (int i = 0; i < FieldCount; ++i)
        m_edits.append(new QLineEdit(this));
    m_refresh->setPixmap(QStringLiteral(":/resources/refresh.svg"), 20);
    m_refresh->setCursor(Qt::PointingHandCursor);
    connect(m_enable, &QCheckBox::toggled, this, &RDGroupSIPTrunkWidget::setControlsEnabled);
    connect(m_refresh, &RDPixmapButton::clicked, this, &RDGroupSIPTrunkWidget::requestRefresh);
    RDGroupSIPTrunkWidget::languageChanged();
}

void RDGroupSIPTrunkWidget::languageChanged()
{
    m_enableLabel->setText(RDLocalize::text(QStringLiteral("Enable Sip Trunk")));
    m_statusLabel->setText(RDLocalize::text(QStringLiteral("Status")));
    for (int i = 0; i < FieldCount; ++i) {
        m_labels[i]->setText(RDLocalize::text(QLatin1String(kLabels[i])));
        m_edits[i]->setPlaceholderText(RDLocalize::text(QLatin1String(kPlaceholders[i])));
    }
    setRegStatus(m_state);
}

void RDGroupSIPTrunkWidget::setGroup(const RDGroup &group)
{
    const bool enabled = group.sipTrunkEnable != 0;
    setControlsEnabled(enabled);
    m_enable->setChecked(enabled);
    m_edits[Server]->setText(group.sipTrunkServer);
    m_edits[Port]->setText(group.sipTrunkPort);
    m_edits[Number]->setText(group.sipTrunkNumber);
    m_edits[Name]->setText(group.sipTrunkName);
    m_edits[Password]->setText(group.sipTrunkPassword);
    m_edits[Expire]->setText(group.sipTrunkExpire);
    emit requestRefresh();
}

void RDGroupSIPTrunkWidget::getGroup(RDGroup &group) const
{
    group.sipTrunkEnable = m_enable->isChecked() ? 1 : 0;
    group.sipTrunkServer = m_edits[Server]->text();
    group.sipTrunkPort = m_edits[Port]->text();
    group.sipTrunkNumber = m_edits[Number]->text();
    group.sipTrunkName = m_edits[Name]->text();
    group.sipTrunkPassword = m_edits[Password]->text();
    group.sipTrunkExpire = m_edits[Expire]->text();
}

void RDGroupSIPTrunkWidget::setControlsEnabled(bool enabled)
{
    m_enableLabel->setEnabled(enabled);
    m_statusLabel->setEnabled(enabled);
    m_status->setEnabled(enabled);
    m_refresh->setEnabled(enabled);
    for (QLabel *label : m_labels)
        label->setEnabled(enabled);
    for (QLineEdit *edit : m_edits)
        edit->setEnabled(enabled);
}

void RDGroupSIPTrunkWidget::setRegStatus(QString state)
{
    m_state = state;
    QString shown;
    if (state.compare(QLatin1String("registered"), Qt::CaseInsensitive) == 0)
        shown = RDLocalize::text(QStringLiteral("Registered"));
    else if (state.compare(QLatin1String("register fail"), Qt::CaseInsensitive) == 0)
        shown = RDLocalize::text(QStringLiteral("Register Failure"));
    else if (state.compare(QLatin1String("registering"), Qt::CaseInsensitive) == 0)
        shown = RDLocalize::text(QStringLiteral("Registering"));
    m_status->setText(shown);
    relayout();
}

void RDGroupSIPTrunkWidget::resizeEvent(QResizeEvent *)
{
    relayout();
}

void RDGroupSIPTrunkWidget::relayout()
{
    m_enable->setGeometry(10, 10, 20, 20);
    m_enableLabel->adjustSize();
    m_enableLabel->setGeometry(35, 10, m_enableLabel->width(), 20);

    QVector<QLabel *> column{m_statusLabel};
    column += m_labels;
    int labelWidth = 0;
    for (QLabel *label : column) {
        label->adjustSize();
        labelWidth = qMax(labelWidth, label->width());
    }
    int y = 40;
    for (QLabel *label : column) {
        label->setGeometry(10, y, labelWidth, 20);
        y = label->geometry().bottom() + 10;
    }
    const int valueX = m_statusLabel->geometry().right() + 20;
    m_status->adjustSize();
    m_status->setGeometry(valueX, m_statusLabel->y(), m_status->width(), 20);
    m_refresh->setGeometry(m_status->geometry().right() + 10, m_statusLabel->y(), 20, 20);
    for (int i = 0; i < FieldCount; ++i)
        m_edits[i]->setGeometry(m_labels[i]->geometry().right() + 20, m_labels[i]->y(), 180, 20);
}
