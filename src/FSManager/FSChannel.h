#pragma once

#include <QString>

// One row of the switch's `channels` table (texts as read; NULL reads as "").
class FSChannel
{
public:
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
