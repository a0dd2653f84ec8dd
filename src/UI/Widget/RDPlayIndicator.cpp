#include "RDPlayIndicator.h"

#include <QDateTime>
#include <QTimer>
#include <QWidget>

namespace {
double nowSeconds() { return QDateTime::currentMSecsSinceEpoch() / 1000.0; }
}

RDPlayIndicator::RDPlayIndicator(QWidget *row, QWidget *bar) : QObject(row), m_row(row), m_bar(bar)
{
    m_bar->hide();
}

void RDPlayIndicator::setPlaying(bool playing, double position)
{
    if (m_timer) {
        m_timer->stop();
        m_timer->deleteLater();
        m_timer = nullptr;
    }
    m_playing = playing;
    if (!playing) {
        m_position = 0.0;
        m_bar->setGeometry(QRect());
        m_bar->hide();
        return;
    }
    m_position = position;
    m_updateTime = nowSeconds();
    m_bar->show();
    m_timer = new QTimer(m_row);
    connect(m_timer, &QTimer::timeout, this, &RDPlayIndicator::invokePlayTimer);
    m_timer->start(1000);
    updateBar();
}

double RDPlayIndicator::fraction() const
{
    if (!m_playing)
        return 0.0;
    if (m_duration <= 0.0)
        return 1.0;
    return qBound(0.0, (nowSeconds() - m_updateTime + m_position) / m_duration, 1.0);
}

void RDPlayIndicator::updateBar()
{
    if (!m_playing)
        return;
    m_bar->setGeometry(0, 0, int(fraction() * m_row->width()), m_row->height());
}

void RDPlayIndicator::invokePlayTimer() { updateBar(); }
