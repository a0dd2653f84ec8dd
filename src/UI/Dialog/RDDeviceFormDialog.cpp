#include "RDDeviceFormDialog.h"

#include "RDLabel.h"
#include "RDWidget.h"
#include "RDWidgetStyle.h"

#include <QIntValidator>
#include <QKeyEvent>
#include <QLineEdit>

#include <algorithm>

namespace {

RDLabel *formButton(QWidget *parent, const QString &name)
{
    auto *button = new RDLabel(parent);
    button->setObjectName(name);
    applyDialogButtonStyle(button);
    return button;
}

} // namespace

RDDeviceFormDialog::RDDeviceFormDialog(QWidget *parent)
    : RDBaseDialog(parent)
    , m_ok(formButton(body(), QStringLiteral("okButton")))
    , m_cancel(formButton(body(), QStringLiteral("cancelButton")))
{
    m_ok->setEnabled(false);
    connect(m_ok, &RDLabel::clicked, this, [this] { okAction(); });
    connect(m_cancel, &RDLabel::clicked, this, &QDialog::reject);
    RDDeviceFormDialog::languageChanged();
}

RDDeviceFormDialog::~RDDeviceFormDialog() = default;

void RDDeviceFormDialog::setupNumberEdit(QLineEdit *edit)
{
    edit->setMaxLength(4);
    edit->setValidator(new QIntValidator(6000, 6999, edit));
    edit->setPlaceholderText(RDLocalize::text(QStringLiteral("Please enter a four digit account number")));
}

bool RDDeviceFormDialog::isDeviceNumber(const QString &number)
{
    bool ok = false;
    const int value = number.toInt(&ok);
    return number.size() == 4 && ok && value >= 6000 && value <= 6999;
}

RDLabel *RDDeviceFormDialog::addHint()
{
    m_hint = new RDLabel(body());
    m_hint->setObjectName(QStringLiteral("hintLabel"));
    m_hint->setTextColor(Qt::black);
    m_hint->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return m_hint;
}

QLineEdit *RDDeviceFormDialog::addRow(const QString &objectName, int maxLength, bool drivesOk)
{
    auto *label = new RDLabel(body());
    label->setTextColor(Qt::black);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto *edit = new QLineEdit(body());
    edit->setObjectName(objectName);
    if (maxLength > 0)
        edit->setMaxLength(maxLength);
    // Return is taken before the edit sees it: an edit's own returnPressed
    // waits for input its validator accepts, and "600" must still move on.
    edit->installEventFilter(this);
    if (drivesOk)
        connect(edit, &QLineEdit::textChanged, this, &RDDeviceFormDialog::updateOkEnabled);
    m_labels.append(label);
    m_edits.append(edit);
    m_returnOrder.append(edit);
    return edit;
}

bool RDDeviceFormDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        const int index = m_returnOrder.indexOf(qobject_cast<QLineEdit *>(watched));
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && index >= 0) {
            if (index + 1 < m_returnOrder.size())
                m_returnOrder[index + 1]->setFocus();
            else
                okAction();
            return true;
        }
    }
    return RDBaseDialog::eventFilter(watched, event);
}

void RDDeviceFormDialog::setLeftAlignedLabels(bool left)
{
    for (RDLabel *label : qAsConst(m_labels))
        label->setAlignment((left ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
}

void RDDeviceFormDialog::showMessage(const QString &key)
{
    showToast(RDLocalize::text(key), Qt::AlignHCenter | Qt::AlignBottom, 5, 5);
}

void RDDeviceFormDialog::updateOkEnabled()
{
    m_ok->setEnabled(canAccept());
}

void RDDeviceFormDialog::languageChanged()
{
    RDBaseDialog::languageChanged();
    m_ok->setText(RDLocalize::text(QStringLiteral("Ok")));
    m_cancel->setText(RDLocalize::text(QStringLiteral("Cancel")));
    relayout(width(), height());
}

void RDDeviceFormDialog::relayoutContents(int w, int)
{
    int labelWidth = 120;
    for (RDLabel *label : qAsConst(m_labels)) {
        label->adjustSize();
        labelWidth = std::max(labelWidth, label->width());
    }
    int y = 20;
    if (m_hint) {
        m_hint->setGeometry(10, 20, w - 20, 25);
        y = 50;
    }
    QRect last(10, y - 10, labelWidth, 0);
    for (int i = 0; i < m_labels.size(); ++i) {
        m_labels[i]->setGeometry(10, y, labelWidth, 25);
        last = m_labels[i]->geometry();
        m_edits[i]->setGeometry(last.right() + 10, y, w - labelWidth - 30, 25);
        y = last.bottom() + 10;
    }
    const int half = w / 2;
    const int top = last.bottom() + 40;
    for (RDLabel *button : {m_ok, m_cancel}) {
        button->adjustSize();
        button->resize(std::max(120, button->width()), 30);
    }
    m_ok->move((half - m_ok->width()) / 2, top);
    m_cancel->move(half + (half - m_cancel->width()) / 2, top);
}
