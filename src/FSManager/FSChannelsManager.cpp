#include "FSChannelsManager.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

QVector<FSChannel> FSChannelsManager::getChannels(bool *ok)
{
    if (ok)
        *ok = false;
    QVector<FSChannel> list;
    if (!m_db.isOpen())
        return list;
    QSqlQuery *statement = prepared(QStringLiteral("select callee_num,accountcode,dest,callstate,uuid,application_data,"
                                                   "cid_name,ip_addr,initial_cid_num,initial_dest from channels"));
    if (!statement)
        return list;
    QSqlQuery &query = *statement;
    if (!query.exec()) {
        query.finish();
        return list;
    }
    // Columns are found by name once per read, not once per row.
    const QSqlRecord rec = query.record();
    const int i_callee_num = rec.indexOf(QStringLiteral("callee_num"));
    const int i_accountcode = rec.indexOf(QStringLiteral("accountcode"));
    const int i_dest = rec.indexOf(QStringLiteral("dest"));
    const int i_callstate = rec.indexOf(QStringLiteral("callstate"));
    const int i_uuid = rec.indexOf(QStringLiteral("uuid"));
    const int i_application_data = rec.indexOf(QStringLiteral("application_data"));
    const int i_cid_name = rec.indexOf(QStringLiteral("cid_name"));
    const int i_ip_addr = rec.indexOf(QStringLiteral("ip_addr"));
    const int i_initial_cid_num = rec.indexOf(QStringLiteral("initial_cid_num"));
    const int i_initial_dest = rec.indexOf(QStringLiteral("initial_dest"));
    while (query.next()) {
        FSChannel c;
        c.callee_num = query.value(i_callee_num).toString();
        c.accountcode = query.value(i_accountcode).toString();
        c.dest = query.value(i_dest).toString();
        c.callstate = query.value(i_callstate).toString();
        c.uuid = query.value(i_uuid).toString();
        c.application_data = query.value(i_application_data).toString();
        c.cid_name = query.value(i_cid_name).toString();
        c.ip_addr = query.value(i_ip_addr).toString();
        c.initial_cid_num = query.value(i_initial_cid_num).toString();
        c.initial_dest = query.value(i_initial_dest).toString();
        list.append(c);
    }
    // A step that fails half-way (the file became busy) is a failed read too.
    const bool failed = query.lastError().isValid();
    query.finish();
    if (failed) {
        list.clear();
        return list;
    }
    if (ok)
        *ok = true;
    return list;
}
