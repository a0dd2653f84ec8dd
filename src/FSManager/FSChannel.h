#pragma once

#include <QString>

// One row of the switch's "channels" table; SQL NULL reads as empty text.
struct FSChannel
{
    QString callee_num;
    QString accountcode;
    QString dest;
    QString callstate;
    QString uuid;
    QString application_data;
    QString cid_name;
    QString ip_addr;
    QString initial_cid_num;
    QString initial_dest;
};
