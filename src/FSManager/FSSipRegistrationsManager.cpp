#include "FSSipRegistrationsManager.h"

#include "RDLog.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

QVector<FSSipRegistration> FSSipRegistrationsManager::getRegistrations(bool *ok)
{
    if (ok)
        *ok = false;
    QVector<FSSipRegistration> list;
    if (!m_db.isOpen())
        return list;
    QSqlQuery *statement = prepared(QStringLiteral("select sip_user,sip_host,contact,status,network_ip,network_port "
                                                   "from sip_registrations"));
    if (!statement) {
        RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "sql cannot prepare the registrations read");
        return list;
    }
    QSqlQuery &query = *statement;
    if (!query.exec()) {
        RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "sql %s", query.lastError().text().toUtf8().constData());
        query.finish();
        return list;
    }
    // Columns are found by name once per read, not once per row.
    const QSqlRecord rec = query.record();
    const int i_sip_user = rec.indexOf(QStringLiteral("sip_user"));
    const int i_sip_host = rec.indexOf(QStringLiteral("sip_host"));
    const int i_contact = rec.indexOf(QStringLiteral("contact"));
    const int i_status = rec.indexOf(QStringLiteral("status"));
    const int i_network_ip = rec.indexOf(QStringLiteral("network_ip"));
    const int i_network_port = rec.indexOf(QStringLiteral("network_port"));
    while (query.next()) {
        FSSipRegistration r;
        r.sip_user = query.value(i_sip_user).toString();
        r.sip_host = query.value(i_sip_host).toString();
        r.contact = query.value(i_contact).toString();
        r.status = query.value(i_status).toString();
        r.network_ip = query.value(i_network_ip).toString();
        r.network_port = query.value(i_network_port).toString();
        list.append(r);
    }
    const bool failed = query.lastError().isValid();
    if (failed)
        RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "sql %s", query.lastError().text().toUtf8().constData());
    query.finish();
    if (failed) {
        list.clear();
        return list;
    }
    if (ok)
        *ok = true;
    return list;
}
