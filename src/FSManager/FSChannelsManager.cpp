#include "FSChannelsManager.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

QVector<FSChannel> FSChannelsManager::getChannels(bool *ok)
{
    if (ok)
        *ok = false;
    QVector<FSChannel> list;
    if (!m_db.isOpen())
        return list;
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("select callee_num,accountcode,dest,callstate,uuid,application_data,cid_name,"
                                      "ip_addr,initial_cid_num,initial_dest from channels")))
        return list;
    if (!query.exec())
        return list;
    while (query.next()) {
        FSChannel c;
        c.callee_num = query.value(QStringLiteral("callee_num")).toString();
        c.accountcode = query.value(QStringLiteral("accountcode")).toString();
        c.dest = query.value(QStringLiteral("dest")).toString();
        c.callstate = query.value(QStringLiteral("callstate")).toString();
        c.uuid = query.value(QStringLiteral("uuid")).toString();
        c.application_data = query.value(QStringLiteral("application_data")).toString();
        c.cid_name = query.value(QStringLiteral("cid_name")).toString();
        c.ip_addr = query.value(QStringLiteral("ip_addr")).toString();
        c.initial_cid_num = query.value(QStringLiteral("initial_cid_num")).toString();
        c.initial_dest = query.value(QStringLiteral("initial_dest")).toString();
        list.append(c);
    }
    // A step that fails half-way (the file became busy) is a failed read too.
    if (query.lastError().isValid()) {
        list.clear();
        return list;
    }
    if (ok)
        *ok = true;
    return list;
}
