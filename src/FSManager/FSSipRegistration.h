#pragma once

#include <QString>

// One row of the switch's "sip_registrations" table; SQL NULL reads as empty text.
struct FSSipRegistration
{
    QString sip_user;
    QString sip_host;
    QString contact;
    QString status;
    QString network_ip;
    QString network_port;
};
