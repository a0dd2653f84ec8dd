#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVector>

// The named network lists of the access-list file: each list allows or
// denies IPv4 ranges, with a default for addresses no range covers. The
// longest matching range decides.
class AccessList
{
public:
    // Reads the lists of a "network-lists" document (already wrapped as one
    // root). Ranges that do not parse are skipped; host bits are masked.
    void parse(const QByteArray &xml);
    void clear() { m_lists.clear(); }

    bool hasList(const QString &name) const { return m_lists.contains(name); }
    // False for an unknown list or an address that is not dotted IPv4.
    bool allows(const QString &list, const QString &ipv4) const;

    static bool parseIpv4(const QString &text, quint32 *out);

private:
    struct Node
    {
        bool allow = false;
        quint32 network = 0;
        int prefix = 0;
    };
    struct List
    {
        bool defaultAllow = false;
        QVector<Node> nodes;
    };
    QMap<QString, List> m_lists;
};
