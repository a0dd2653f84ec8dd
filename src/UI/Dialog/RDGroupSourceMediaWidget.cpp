#include "RDGroupSourceMediaWidget.h"

#include "RDFileListHeaderWidget.h"
#include "RDFileListWidget.h"
#include "RDLabel.h"
#include "RDPixmapsButton.h"

#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

namespace {
const char *const kLoopWords[] = {"none", "list", "times", "duration"};
const char *const kCaptions[] = {"No repeat", "List loop", "By times", "By durations"};

// Whole numbers 0 .. 2147483647.
QValidator *wholeNumberValidator(QObject *parent)
{
    return new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("^(0|[1-9][0-9]{0,8}|1[0-9]{9}|20[0-9]{8}|21[0-3][0-9]{7}|214[0-6][0-9]{6}"
                                          "|2147[0-3][0-9]{5}|21474[0-7][0-9]{4}|214748[0-2][0-9]{3}"
                                          "|2147483[0-5][0-9]{2}|21474836[0-3][0-9]|214748364[0-7])?$")),
        parent);
}
}

RDGroupSourceMediaWidget::RDGroupSourceMediaWidget(QWidget *parent)
    : RDWidget(parent)
    , m_repeatCaption(new QLabel(this))
    , m_times(new QLineEdit(this))
    , m_duration(new QLineEdit(this))
    , m_unit(new RDLabel(this))
    , m_header(new RDFileListHeaderWidget(this))
    , m_list(new RDFileListWidget(this))
{
    for (int i = 0; i < RepeatCount; ++i) {
        auto *radio = new RDPixmapsButton(this);
        radio->setPixmaps(QStringLiteral(":/resources/point_normal.svg"),
                          QStringLiteral(":/resources/point_selected.svg"), 15);
        const QString word = QString::fromLatin1(kLoopWords[i]);
        connect(radio, &RDPixmapsButton::clicked, this, [this, word] {
            if (m_editable)
                setLoopType(word);
        });
        m_radios.append(radio);
        m_captions.append(new QLabel(this));
    }
    m_times->setValidator(wholeNumberValidator(m_times));
    m_duration->setValidator(wholeNumberValidator(m_duration));
    m_unit->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_unit->setTextColor(Qt::black);
    languageChanged();
    setLoopType(QString());
}

void RDGroupSourceMediaWidget::setLoopType(const QString &type)
{
    Repeat repeat = RepeatNone;
    if (type == QLatin1String("list"))
        repeat = RepeatList;
    else if (type.compare(QLatin1String("times"), Qt::CaseInsensitive) == 0)
        repeat = RepeatTimes;
    else if (type.compare(QLatin1String("duration"), Qt::CaseInsensitive) == 0)
        repeat = RepeatDuration;
    for (int i = 0; i < RepeatCount; ++i) {
        m_radios[i]->setChecked(i == repeat);
        m_captions[i]->setEnabled(m_editable && i == repeat);
    }
    // A running zone's page stays read-only whatever its repeat type.
    m_times->setEnabled(m_editable && repeat == RepeatTimes);
    m_duration->setEnabled(m_editable && repeat == RepeatDuration);
}

QString RDGroupSourceMediaWidget::loopType() const
{
    for (int repeat : {RepeatList, RepeatTimes, RepeatDuration}) {
        if (m_radios[repeat]->isChecked())
            return QString::fromLatin1(kLoopWords[repeat]);
    }
    return QStringLiteral("none");
}

void RDGroupSourceMediaWidget::setEditable(bool editable)
{
    m_editable = editable;
    for (int i = 0; i < RepeatCount; ++i) {
        m_radios[i]->setEnabled(editable);
        m_captions[i]->setEnabled(editable);
    }
    m_times->setEnabled(editable);
    m_duration->setEnabled(editable);
    m_list->setEditable(editable);
    if (editable)
        setLoopType(loopType());
}

int RDGroupSourceMediaWidget::loopTimes() const { return m_times->text().toInt(nullptr, 10); }

int RDGroupSourceMediaWidget::loopDuration() const { return m_duration->text().toInt(nullptr, 10); }

void RDGroupSourceMediaWidget::setLoopTimes(int times) { m_times->setText(QString::number(times)); }

void RDGroupSourceMediaWidget::setLoopDuration(int seconds) { m_duration->setText(QString::number(seconds)); }

void RDGroupSourceMediaWidget::languageChanged()
{
    m_repeatCaption->setText(RDLocalize::text(QStringLiteral("Repeat type")));
    for (int i = 0; i < RepeatCount; ++i)
        m_captions[i]->setText(RDLocalize::text(QString::fromLatin1(kCaptions[i])));
    m_unit->setText(RDLocalize::text(QStringLiteral("seconds")));
    m_header->languageChanged();
    relayout();
}

void RDGroupSourceMediaWidget::resizeEvent(QResizeEvent *event)
{
    RDWidget::resizeEvent(event);
    relayout();
}

void RDGroupSourceMediaWidget::relayout()
{
    const int w = width();
    const int h = height();
    m_repeatCaption->setGeometry(10, 5, qMax(0, w - 20), 20);
    int captionWidth = 0;
    for (QLabel *caption : qAsConst(m_captions))
        captionWidth = qMax(captionWidth, caption->sizeHint().width());
    int radioBottom = m_repeatCaption->geometry().bottom() + 1;
    int rowBottom = radioBottom;
    for (int i = 0; i < RepeatCount; ++i) {
        m_radios[i]->setGeometry(10, radioBottom + 7, 15, 15);
        m_captions[i]->setGeometry(m_radios[i]->geometry().right() + 1 + 10, rowBottom + 5, captionWidth, 20);
        radioBottom = m_radios[i]->geometry().bottom() + 1;
        rowBottom = qMax(radioBottom, m_captions[i]->geometry().bottom() + 1);
        radioBottom = rowBottom;
    }
    const QRect times = m_captions[RepeatTimes]->geometry();
    m_times->setGeometry(times.right() + 1 + 10, times.y() + 1, 45, 18);
    const QRect duration = m_captions[RepeatDuration]->geometry();
    m_duration->setGeometry(duration.right() + 1 + 10, duration.y() + 1, 45, 18);
    m_unit->setGeometry(m_duration->geometry().right() + 1 + 10, duration.y() + 1, m_unit->sizeHint().width(), 18);
    const int headerTop = m_duration->geometry().bottom() + 1 + 10;
    m_header->setGeometry(0, headerTop, w, 30);
    const int listTop = m_header->geometry().bottom() + 1;
    m_list->setGeometry(0, listTop, w, qMax(0, h - listTop - 5));
}
