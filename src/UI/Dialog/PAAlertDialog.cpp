#include "PAAlertDialog.h"

#include "RDLabel.h"
#include "RDModal.h"
#include "RDUtils.h"
#include "RDWidget.h"
#include "RDWidgetStyle.h"

namespace {

RDLabel *alertButton(QWidget *parent)
{
    auto *button = new RDLabel(parent);
    applyDialogButtonStyle(button);
    return button;
}

} // namespace

PAAlertDialog::PAAlertDialog(QWidget *parent)
    : RDBaseDialog(parent)
    , m_message(new RDLabel(body()))
    , m_ok(alertButton(body()))
    , m_cancel(alertButton(body()))
{
    setObjectName(QStringLiteral("PAAlertDialog"));
    m_message->setTextColor(QColor(0, 0, 0));
    m_message->setAlignment(Qt::AlignCenter);
    m_ok->setObjectName(QStringLiteral("okButton"));
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    connect(m_ok, &RDLabel::clicked, this, &QDialog::accept);
    connect(m_cancel, &RDLabel::clicked, this, &QDialog::reject);
    resize(430, 230);
    PAAlertDialog::languageChanged();
}

PAAlertDialog::~PAAlertDialog() = default;

void PAAlertDialog::setMessage(const QString &message)
{
    m_message->setText(message);
}

QString PAAlertDialog::message() const
{
    return m_message->text();
}

void PAAlertDialog::setOkText(const QString &text)
{
    m_ok->setText(text);
    relayout(width(), height());
}

void PAAlertDialog::setCancelText(const QString &text)
{
    m_cancel->setText(text);
    relayout(width(), height());
}

void PAAlertDialog::languageChanged()
{
    RDBaseDialog::languageChanged();
    m_ok->setText(RDLocalize::text(QStringLiteral("OK")));
    m_cancel->setText(RDLocalize::text(QStringLiteral("Cancel")));
    relayout(width(), height());
}

void PAAlertDialog::relayoutContents(int w, int h)
{
    for (RDLabel *button : {m_ok, m_cancel}) {
        button->adjustSize();
        button->resize(qMax(120, button->width()), 30);
    }
    m_message->setGeometry(0, 30, w, 30);
    const int half = w / 2;
    m_ok->move((half - m_ok->width()) / 2, h - 60);
    m_cancel->move(half + (half - m_cancel->width()) / 2, h - 60);
}

QString PAAlertDialog::modalText() const
{
    return m_message->text();
}

int PAAlertDialog::exec()
{
    return RDModal::run(QStringLiteral("alert"), modalText(), unattendedResult(), [this] { return execDialog(); },
                        this);
}

void PAAlertDialog::showMessage(const QString &message)
{
    PAAlertDialog dialog;
    dialog.setMessage(message);
    dialog.exec();
}

void PAAlertDialog::setNextAnswer(int answer)
{
    RDModal::queue(QStringLiteral("alert"), answer);
}
