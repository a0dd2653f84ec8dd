#include "FSGateway.h"

#include <QXmlStreamReader>

FSGateway parseGateway(QXmlStreamReader &xml)
{
    FSGateway gw;
    while (!xml.atEnd()) {
        if (xml.isStartElement()) {
            const QStringRef name = xml.name();
            QString *field = nullptr;
            if (name == QLatin1String("name"))
                field = &gw.name;
            else if (name == QLatin1String("profile"))
                field = &gw.profile;
            else if (name == QLatin1String("realm"))
                field = &gw.realm;
            else if (name == QLatin1String("username"))
                field = &gw.username;
            else if (name == QLatin1String("exten"))
                field = &gw.exten;
            else if (name == QLatin1String("state"))
                field = &gw.state;
            else if (name == QLatin1String("expire"))
                field = &gw.expire;
            if (field) {
                // A leaf with child elements is an XML error and ends the input.
                const QString text = xml.readElementText();
                if (!xml.hasError())
                    *field = text;
            }
        } else if (xml.isEndElement() && xml.name() == QLatin1String("gateway")) {
            return gw;
        }
        xml.readNext();
    }
    return gw;
}

QVector<FSGateway> parseGateways(const QString &answer)
{
    QVector<FSGateway> list;
    QXmlStreamReader xml(answer);
    xml.readNext();
    while (!xml.atEnd()) {
        if (xml.isStartElement()) {
            if (xml.name() == QLatin1String("gateways")) {
                list.clear();
            } else if (xml.name() == QLatin1String("gateway")) {
                const FSGateway gw = parseGateway(xml);
                if (!gw.name.isEmpty())
                    list.append(gw);
            }
        }
        xml.readNext();
    }
    return list;
}
