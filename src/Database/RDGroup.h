#pragma once

#include "RDDevice.h"
#include "RDGroupInfo.h"
#include "RDGroupScheduleOperation.h"
#include "RDGroupStatus.h"

#include <QMetaType>
#include <QString>
#include <QVector>

// One zone: its table row, its run state, and four lists rebuilt on demand
// from text columns. The lists are not kept in step with their columns: a
// user rebuilds a list with its update operation, and an editor writes it
// back with its set operation before the record is stored.
struct RDGroup : public RDGroupInfo, public RDGroupStatus
{
    QVector<QString> mediaList;
    QVector<RDDevice> deviceList;
    QVector<RDGroupScheduleOperation> scheduleOperationList;
    QVector<QString> prayFileList;

    RDGroup() = default;
    RDGroup(const RDGroupInfo &info, const RDGroupStatus &status);

    bool isValid() const { return id > 0; }
    bool operator==(const RDGroup &other) const { return id == other.id; }
    bool operator!=(const RDGroup &other) const { return id != other.id; }

    bool isMediaSource() const;
    bool isPraySource() const;
    bool hasPrayFiles() const;
    QString mainStreamUrl() const;
    QString subStreamUrl() const;

    void setPlayStatus(int playIndex, double playPosition, int prayType);
    double currentPlayPosition() const;
    void updateDeviceStatus(const QVector<RDDevice> &all);

    void updateMedia();
    void updateDevices(const QVector<RDDevice> &all);
    void updateScheduleOperations();
    void updatePrayFiles();

    void setMedia(const QVector<QString> &media);
    void setDevices(const QVector<RDDevice> &devices);
    void setScheduleOperations(const QVector<RDGroupScheduleOperation> &operations);
    void setPrayFiles(const QVector<QString> &files);

    // Two operation lists are equal when they have the same length and no
    // two operations at the same position differ.
    static bool sameScheduleOperations(const QVector<RDGroupScheduleOperation> &a,
                                       const QVector<RDGroupScheduleOperation> &b);
};

Q_DECLARE_METATYPE(RDGroup)
Q_DECLARE_METATYPE(QVector<RDGroup>)
