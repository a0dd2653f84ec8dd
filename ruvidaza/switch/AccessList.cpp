#include "AccessList.h"

#include <QXmlStreamReader>

namespace {

quint32 maskOf(int prefix)
{
    return prefix <= 0 ? 0u : (prefix >= 32 ? 0xFFFFFFFFu : ~((1u << (32 - prefix)) - 1u));
}

} // namespace

bool AccessList::parseIpv4(const QString &text, quint32 *out)
{
    const QStringList parts = text.trimmed().split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    quint32 v = 0;
    for (const QString &p : parts) {
        bool ok = false;
        const uint octet = p.toUInt(&ok, 10);
        if (!ok || p.isEmpty() || p.size() > 3 || octet > 255)
            return false;
        v = (v << 8) | octet;
    }
    *out = v;
    return true;
}

void AccessList::parse(const QByteArray &xml)
{
    QXmlStreamReader r(xml);
    QString current;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.name() == QLatin1String("list")) {
            current = r.attributes().value(QLatin1String("name")).toString();
            List &l = m_lists[current];
            l.defaultAllow = r.attributes().value(QLatin1String("default")) == QLatin1String("allow");
            l.nodes.clear();
        } else if (r.isEndElement() && r.name() == QLatin1String("list")) {
            current.clear();
        } else if (r.isStartElement() && r.name() == QLatin1String("node") && !current.isEmpty()) {
            const QString cidr = r.attributes().value(QLatin1String("cidr")).toString();
            if (cidr.isEmpty())
                continue;  // domain nodes name directory users, not ranges
            const int slash = cidr.indexOf(QLatin1Char('/'));
            Node n;
            n.allow = r.attributes().value(QLatin1String("type")) == QLatin1String("allow");
            bool ok = true;
            n.prefix = slash < 0 ? 32 : cidr.mid(slash + 1).toInt(&ok);
            quint32 ip = 0;
            if (!ok || n.prefix < 0 || n.prefix > 32 || !parseIpv4(cidr.left(slash < 0 ? cidr.size() : slash), &ip))
                continue;
            n.network = ip & maskOf(n.prefix);
            m_lists[current].nodes.push_back(n);
        }
    }
}

bool AccessList::allows(const QString &list, const QString &ipv4) const
{
    auto it = m_lists.constFind(list);
    quint32 ip = 0;
    if (it == m_lists.constEnd() || !parseIpv4(ipv4, &ip))
        return false;
    int best = -1;
    bool allow = it->defaultAllow;
    for (const Node &n : it->nodes) {
        if (n.prefix > best && (ip & maskOf(n.prefix)) == n.network) {
            best = n.prefix;
            allow = n.allow;
        }
    }
    return allow;
}
