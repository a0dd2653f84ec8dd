#pragma once

#include "FSConferenceHost.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <ostream>

// Readable gtest output for command lists: one command per line.
inline void PrintTo(const QStringList &list, std::ostream *os)
{
    *os << "\n  " << list.join(QStringLiteral("\n  ")).toStdString();
}

// Records what the conference supervision asks of its surroundings and
// answers console commands from a small script.
class FakeConferenceHost : public FSConferenceHost
{
public:
    struct Stop {
        QString conference;
        QString reason;
    };
    struct PlayChange {
        int groupId;
        QString conference;
        int index;
        QString item;
    };

    QString execute(const QString &command) override
    {
        commands << command;
        if (answer)
            return answer(command);
        return QStringLiteral("+OK\n");
    }
    // Each batch of dials is also kept as one entry of `batches`.
    void executeAll(const QStringList &list) override
    {
        batches << list;
        FSConferenceHost::executeAll(list);
    }
    void postStopConference(const QString &conference, const QString &reason) override
    {
        stops.append({conference, reason});
    }
    void notifyPlayChanged(int groupId, const QString &conference, int index, const QString &item) override
    {
        playChanges.append({groupId, conference, index, item});
    }
    void setSipVolume(const QString &user, int level) override { sipVolumes << QStringLiteral("%1=%2").arg(user).arg(level); }
    bool isAccountRegistered(const QString &user) override { return registered.contains(user); }
    bool isAccountTalking(const QString &user) override { return talking.contains(user); }

    void clear()
    {
        commands.clear();
        batches.clear();
        stops.clear();
        playChanges.clear();
        sipVolumes.clear();
    }

    std::function<QString(const QString &)> answer;
    QStringList commands;
    QVector<QStringList> batches;
    QVector<Stop> stops;
    QVector<PlayChange> playChanges;
    QStringList sipVolumes;
    QSet<QString> registered;
    QSet<QString> talking;
};
