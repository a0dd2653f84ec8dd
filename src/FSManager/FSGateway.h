#pragma once

#include <QString>
#include <QVector>

class QXmlStreamReader;

// The state of one SIP gateway of the switch, as "sofia xmlstatus gateway"
// reports it; each field is the text of the element of the same name.
struct FSGateway
{
    QString name;
    QString profile;
    QString realm;
    QString username;
    QString exten;
    QString state;
    QString expire;
};

// All gateways of a "sofia xmlstatus gateway" answer, in document order.
// A "gateways" element starts the list afresh; a gateway without a name is
// left out; an XML error ends the list at that point.
QVector<FSGateway> parseGateways(const QString &answer);

// Reads one gateway; `xml` stands on its "gateway" start element and is left
// on that element's end (or at the end of the input).
FSGateway parseGateway(QXmlStreamReader &xml);
