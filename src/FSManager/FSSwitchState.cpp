#include "FSSwitchState.h"

FSSwitchState::FSSwitchState(QVector<FSChannel> channels, QVector<FSSipRegistration> registrations, bool valid)
    : m_channels(std::move(channels)), m_registrations(std::move(registrations)), m_valid(valid)
{
    m_channelByNumber.reserve(m_channels.size() * 2);
    for (int i = 0; i < m_channels.size(); ++i) {
        const FSChannel &c = m_channels.at(i);
        // Rows are visited in table order and a key keeps its first row, so a
        // number maps to the first row matching it by either column.
        if (!m_channelByNumber.contains(c.accountcode))
            m_channelByNumber.insert(c.accountcode, i);
        if (!m_channelByNumber.contains(c.initial_dest))
            m_channelByNumber.insert(c.initial_dest, i);
    }
    m_registrationByUser.reserve(m_registrations.size());
    for (int i = 0; i < m_registrations.size(); ++i) {
        const QString &user = m_registrations.at(i).sip_user;
        if (!m_registrationByUser.contains(user))
            m_registrationByUser.insert(user, i);
    }
}

const FSChannel *FSSwitchState::channelOf(const QString &number) const
{
    const auto it = m_channelByNumber.constFind(number);
    return it == m_channelByNumber.constEnd() ? nullptr : &m_channels.at(it.value());
}

const FSSipRegistration *FSSwitchState::registrationOf(const QString &user) const
{
    const auto it = m_registrationByUser.constFind(user);
    return it == m_registrationByUser.constEnd() ? nullptr : &m_registrations.at(it.value());
}

bool FSSwitchState::isRegistered(const QString &user) const
{
    const FSSipRegistration *r = registrationOf(user);
    return r && r->status.startsWith(QLatin1String("Registered"));
}

const FSChannel *FSSwitchState::internalCallerLeg(const QString &caller, const QString &conference) const
{
    for (const FSChannel &c : m_channels) {
        if (c.initial_cid_num == caller && c.initial_dest == conference)
            return &c;
    }
    return nullptr;
}

const FSChannel *FSSwitchState::externalCallerLeg(const QString &number, const QString &conference) const
{
    for (const FSChannel &c : m_channels) {
        if (c.cid_name.compare(QLatin1String("Outbound Call"), Qt::CaseInsensitive) == 0
            && c.initial_dest == number && c.application_data.startsWith(conference))
            return &c;
    }
    return nullptr;
}

QMap<QString, QString> FSSwitchState::deviceStatus() const
{
    static const QString online = QStringLiteral("online");
    static const QString calling = QStringLiteral("calling");
    QMap<QString, QString> status;
    for (const FSSipRegistration &r : m_registrations) {
        const FSChannel *c = channelOf(r.sip_user);
        // A later row for the same user overwrites an earlier one.
        status.insert(r.sip_user, c && isActive(*c) ? calling : online);
    }
    return status;
}

bool FSSwitchState::isActive(const FSChannel &channel)
{
    return channel.callstate.compare(QLatin1String("ACTIVE"), Qt::CaseInsensitive) == 0;
}

bool FSSwitchState::isRinging(const FSChannel &channel)
{
    return channel.callstate.compare(QLatin1String("RINGING"), Qt::CaseInsensitive) == 0;
}

QString FSSwitchState::conferenceOf(const FSChannel &channel)
{
    const int at = channel.application_data.indexOf(QLatin1Char('@'));
    return at < 0 ? channel.application_data : channel.application_data.left(at);
}
