#include "PAAlertDialog.h"

#include "RDLog.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMutex>
#include <QMutexLocker>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QMutex g_testLock;
QList<int> g_queuedAnswers;
QStringList g_shownMessages;

} // namespace

PAAlertDialog::PAAlertDialog(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , m_message(new QLabel(this))
    , m_ok(new QPushButton(this))
    , m_cancel(new QPushButton(this))
{
    setModal(true);
    setObjectName(QStringLiteral("PAAlertDialog"));
    m_message->setWordWrap(true);
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setMinimumWidth(320);
    m_ok->setObjectName(QStringLiteral("okButton"));
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    m_ok->setDefault(true);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 16);
    layout->addWidget(m_message, 1);
    layout->addLayout(buttons);

    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    languageChanged();
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
    m_customOk = true;
    m_ok->setText(text);
}

void PAAlertDialog::setCancelText(const QString &text)
{
    m_customCancel = true;
    m_cancel->setText(text);
}

void PAAlertDialog::languageChanged()
{
    if (!m_customOk)
        m_ok->setText(RDLocalize::text(QStringLiteral("OK")));
    if (!m_customCancel)
        m_cancel->setText(RDLocalize::text(QStringLiteral("Cancel")));
}

int PAAlertDialog::exec()
{
    {
        QMutexLocker locker(&g_testLock);
        g_shownMessages.append(m_message->text());
        if (!g_queuedAnswers.isEmpty()) {
            const int answer = g_queuedAnswers.takeFirst();
            setResult(answer);
            return answer;
        }
    }
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "alert without a display, taken as OK: %s\n",
                    qPrintable(m_message->text()));
        setResult(QDialog::Accepted);
        return QDialog::Accepted;
    }
    return QDialog::exec();
}

int PAAlertDialog::showMessage(const QString &text)
{
    PAAlertDialog dialog;
    dialog.setMessage(text);
    return dialog.exec();
}

void PAAlertDialog::queueAnswersForTesting(const QList<int> &answers)
{
    QMutexLocker locker(&g_testLock);
    g_queuedAnswers = answers;
}

QStringList PAAlertDialog::takeShownMessagesForTesting()
{
    QMutexLocker locker(&g_testLock);
    QStringList shown = g_shownMessages;
    g_shownMessages.clear();
    return shown;
}
