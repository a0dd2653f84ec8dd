#pragma once

#include "FSChannel.h"
#include "FSSipRegistration.h"

#include <QHash>
#include <QMap>
#include <QString>
#include <QVector>

// The switch's channel and registration rows read at the start of one
// supervision pass, indexed for the lookups the pass makes per member.
// "First row" always means the first in table order, as read.
class FSSwitchState
{
public:
    FSSwitchState() = default;
    // `valid` is false when either table could not be read: the rows are then
    // unknown, which is not the same as "no rows".
    FSSwitchState(QVector<FSChannel> channels, QVector<FSSipRegistration> registrations, bool valid = true);

    bool isValid() const { return m_valid; }
    const QVector<FSChannel> &channels() const { return m_channels; }
    const QVector<FSSipRegistration> &registrations() const { return m_registrations; }

    // First channel whose accountcode or initial_dest equals `number` exactly.
    const FSChannel *channelOf(const QString &number) const;
    // First registration whose sip_user equals `user` exactly.
    const FSSipRegistration *registrationOf(const QString &user) const;
    // Registered means the first row's status begins with "Registered".
    bool isRegistered(const QString &user) const;

    // The leg of a device that called conference `conference`: first channel
    // with initial_cid_num == caller and initial_dest == conference.
    const FSChannel *internalCallerLeg(const QString &caller, const QString &conference) const;
    // The leg of a trunk caller: first channel named "Outbound Call" (any case)
    // with initial_dest == number and application_data beginning with conference.
    const FSChannel *externalCallerLeg(const QString &number, const QString &conference) const;

    // SIP number -> "online" or "calling", one entry per registered user.
    QMap<QString, QString> deviceStatus() const;

    static bool isActive(const FSChannel &channel);
    static bool isRinging(const FSChannel &channel);
    // application_data up to the first "@" (all of it when there is none).
    static QString conferenceOf(const FSChannel &channel);

private:
    QVector<FSChannel> m_channels;
    QVector<FSSipRegistration> m_registrations;
    QHash<QString, int> m_channelByNumber;
    QHash<QString, int> m_registrationByUser;
    bool m_valid = false;
};
