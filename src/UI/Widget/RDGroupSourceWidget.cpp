#include "RDGroupSourceWidget.h"

RDGroupSourceWidget::RDGroupSourceWidget(QWidget *parent)
    : RDWidget(parent)
{
}

void RDGroupSourceWidget::loadGroup(const RDGroup &group)
{
    m_group = group;
}

void RDGroupSourceWidget::saveGroup(RDGroup &group)
{
    group.source = m_group.source;
    group.streamUrl = m_group.streamUrl;
    group.audioId = m_group.audioId;
    group.audioName = m_group.audioName;
    group.audioType = m_group.audioType;
    group.mediumLoopType = m_group.mediumLoopType;
    group.mediumLoopTimes = m_group.mediumLoopTimes;
    group.mediumLoopDuration = m_group.mediumLoopDuration;
    group.setMedia(m_group.mediaList);
    group.setPrayFiles(m_group.prayFileList);
    group.prayLocation = m_group.prayLocation;
    group.prayMethod = m_group.prayMethod;
    group.praySchool = m_group.praySchool;
    group.prayLatitudeAdjustmentMethod = m_group.prayLatitudeAdjustmentMethod;
}

void RDGroupSourceWidget::reloadSources()
{
}
