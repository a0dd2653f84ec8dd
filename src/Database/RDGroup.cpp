#include "RDGroup.h"

#include "RDThread.h"

#include <QStringList>

namespace {

QString joinLines(const QVector<QString> &lines, QLatin1Char separator)
{
    QString text;
    for (int i = 0; i < lines.size(); ++i) {
        if (i > 0)
            text += separator;
        text += lines.at(i);
    }
    return text;
}

} // namespace

RDGroup::RDGroup(const RDGroupInfo &info, const RDGroupStatus &status)
    : RDGroupInfo(info), RDGroupStatus(status)
{
}

bool RDGroup::isMediaSource() const
{
    return source.compare(QLatin1String("media"), Qt::CaseInsensitive) == 0;
}

bool RDGroup::isPraySource() const
{
    return source.compare(QLatin1String("pray"), Qt::CaseInsensitive) == 0;
}

bool RDGroup::hasPrayFiles() const
{
    const QStringList lines = prayFiles.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (!line.isEmpty())
            return true;
    }
    return false;
}

QString RDGroup::mainStreamUrl() const
{
    return backgroundMainStream.isEmpty() ? backgroundSubStream : backgroundMainStream;
}

QString RDGroup::subStreamUrl() const
{
    return backgroundSubStream.isEmpty() ? backgroundMainStream : backgroundSubStream;
}

void RDGroup::setPlayStatus(int index, double position, int pray)
{
    playIndex = index;
    playPosition = position;
    prayType = pray;
    playUpdateTime = currentSeconds();
}

double RDGroup::currentPlayPosition() const
{
    return currentSeconds() - playUpdateTime + playPosition;
}

void RDGroup::updateDeviceStatus(const QVector<RDDevice> &all)
{
    for (RDDevice &member : deviceList) {
        QString status = QStringLiteral("none");
        for (const RDDevice &device : all) {
            if (device.id == member.id) {
                status = device.status;
                break;
            }
        }
        member.status = status;
    }
}

void RDGroup::updateMedia()
{
    mediaList.clear();
    const QStringList parts = medium.split(QLatin1Char('\n'));
    for (const QString &part : parts) {
        if (!part.isEmpty())
            mediaList.append(part);
    }
}

void RDGroup::updateDevices(const QVector<RDDevice> &all)
{
    deviceList.clear();
    if (all.isEmpty())
        return;
    const QStringList parts = devices.split(QLatin1Char(';'));
    for (const QString &part : parts) {
        if (part.isEmpty())
            continue;
        const int deviceId = part.toInt(nullptr, 10);
        if (deviceId == 0)
            continue;
        for (const RDDevice &device : all) {
            if (device.id == deviceId) {
                deviceList.append(device);
                break;
            }
        }
    }
}

void RDGroup::updateScheduleOperations()
{
    scheduleOperationList.clear();
    const QStringList lines = scheduleOperations.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.isEmpty())
            continue;
        RDGroupScheduleOperation operation;
        const QStringList pieces = line.split(QLatin1Char(';'));
        if (pieces.size() == 2) {
            operation.time = pieces.at(0);
            operation.action = pieces.at(1);
        }
        scheduleOperationList.append(operation);
    }
}

void RDGroup::updatePrayFiles()
{
    prayFileList.clear();
    const QStringList parts = prayFiles.split(QLatin1Char('\n'));
    for (const QString &part : parts)
        prayFileList.append(part);
}

void RDGroup::setMedia(const QVector<QString> &media)
{
    mediaList = media;
    medium = joinLines(media, QLatin1Char('\n'));
}

void RDGroup::setDevices(const QVector<RDDevice> &members)
{
    deviceList = members;
    QVector<QString> ids;
    ids.reserve(members.size());
    for (const RDDevice &device : members)
        ids.append(QString::number(device.id));
    devices = joinLines(ids, QLatin1Char(';'));
}

void RDGroup::setScheduleOperations(const QVector<RDGroupScheduleOperation> &operations)
{
    scheduleOperationList = operations;
    QVector<QString> lines;
    lines.reserve(operations.size());
    for (const RDGroupScheduleOperation &operation : operations)
        lines.append(QStringLiteral("%1;%2").arg(operation.time, operation.action));
    scheduleOperations = joinLines(lines, QLatin1Char('\n'));
}

void RDGroup::setPrayFiles(const QVector<QString> &files)
{
    prayFileList = files;
    prayFiles = joinLines(files, QLatin1Char('\n'));
}

bool RDGroup::sameScheduleOperations(const QVector<RDGroupScheduleOperation> &a,
                                     const QVector<RDGroupScheduleOperation> &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (a.at(i) != b.at(i))
            return false;
    }
    return true;
}
