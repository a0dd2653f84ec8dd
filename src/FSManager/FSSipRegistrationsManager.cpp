#include "FSSipRegistrationsManager.h"

#include "RDLog.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

QVector<FSSipRegistration> FSSipRegistrationsManager::getRegistrations(bool *ok)
{
    if (ok)
        *ok = false;
    QVector<FSSipRegistration> list;
    if (!m_db.isOpen())
        return list;
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("select sip_user,sip_host,contact,status,network_ip,network_port "
                                      "from sip_registrations"))) {
        RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "sql %s", query.lastError().text().toUtf8().constData());
        return list;
    }
    if (!query.exec()) {
        RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "sql %s", query.lastError().text().toUtf8().constData());
        return list;
    }
    while (query.next()) {
        FSSipRegistration r;
        r.sip_user = query.value(QStringLiteral("sip_user")).toString();
        r.sip_host = query.value(QStringLiteral("sip_host")).toString();
        r.contact = query.value(QStringLiteral("contact")).toString();
        r.status = query.value(QStringLiteral("status")).toString();
        r.network_ip = query.value(QStringLiteral("network_ip")).toString();
        r.network_port = query.value(QStringLiteral("network_port")).toString();
        list.append(r);
    }
    if (query.lastError().isValid()) {
        RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "sql %s", query.lastError().text().toUtf8().constData());
        list.clear();
        return list;
    }
    if (ok)
        *ok = true;
    return list;
}
