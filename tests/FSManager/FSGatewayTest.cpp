// Parsing of the "sofia xmlstatus gateway" answer.
#include "FSGateway.h"

#include <QXmlStreamReader>
#include <gtest/gtest.h>

namespace {

struct Case
{
    const char *what;
    QString xml;
    QStringList names;  // expected gateway names, in order
};

QString gw(const char *name, const char *extra = "")
{
    return QStringLiteral("<gateway><name>%1</name>%2</gateway>").arg(QLatin1String(name), QLatin1String(extra));
}

} // namespace

TEST(FSGateway, ParsesTheGatewayList)
{
    const QString two = QStringLiteral("<?xml version=\"1.0\"?>\n<gateways>") + gw("a") + gw("b") + QStringLiteral("</gateways>");
    const QList<Case> cases = {
        {"two gateways in document order", two, {"a", "b"}},
        {"empty answer", "", {}},
        {"not XML", "-ERR no reply\n", {}},
        {"empty list", "<gateways/>", {}},
        {"gateway without name", "<gateways><gateway><state>REGED</state></gateway><gateway><name></name></gateway></gateways>", {}},
        {"entries before <gateways> are dropped", "<root><gateway><name>x</name></gateway><gateways><gateway><name>y</name></gateway></gateways></root>", {"y"}},
        {"error ends the list, keeping what was read", "<gateways><gateway><name>a</name></gateway><gateway><name>b</name></gatew<gateway><name>c</name></gateway>", {"a", "b"}},
        {"cut inside a name", "<gateways><gateway><name>a</name></gateway><gateway><name>b", {"a"}},
        {"leaf with child elements ends the input", "<gateways><gateway><name>a</name></gateway><gateway><name>b<i/></name></gateway><gateway><name>c</name></gateway></gateways>", {"a"}},
        {"unknown wrappers are passed over", "<x><gateways><group><gateway><wrap><name>w</name></wrap></gateway></group></gateways></x>", {"w"}},
    };
    for (const Case &c : cases) {
        QStringList names;
        for (const FSGateway &g : parseGateways(c.xml))
            names << g.name;
        EXPECT_EQ(names, c.names) << c.what;
    }
}

TEST(FSGateway, ReadsEveryField)
{
    const QString xml = QStringLiteral(
        "<gateways><gateway><name>exgwrtp3001</name><profile>external</profile><realm>10.0.0.5:5060</realm>"
        "<username>0301234</username><exten>0301234</exten><state>REGED</state><expire>600</expire>"
        "<ping>0</ping></gateway><gateway><name>a&amp;b</name></gateway></gateways>");
    const QVector<FSGateway> list = parseGateways(xml);
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0].name, QStringLiteral("exgwrtp3001"));
    EXPECT_EQ(list[0].profile, QStringLiteral("external"));
    EXPECT_EQ(list[0].realm, QStringLiteral("10.0.0.5:5060"));
    EXPECT_EQ(list[0].username, QStringLiteral("0301234"));
    EXPECT_EQ(list[0].exten, QStringLiteral("0301234"));
    EXPECT_EQ(list[0].state, QStringLiteral("REGED"));
    EXPECT_EQ(list[0].expire, QStringLiteral("600"));
    EXPECT_EQ(list[1].name, QStringLiteral("a&b"));
    EXPECT_TRUE(list[1].state.isEmpty());
}

TEST(FSGateway, ParseGatewayStopsOnItsEndElement)
{
    QXmlStreamReader xml(QStringLiteral("<gateway><name>n</name><state>TRYING</state></gateway><after/>"));
    xml.readNext();  // start document
    xml.readNext();  // <gateway>
    ASSERT_TRUE(xml.isStartElement());
    const FSGateway g = parseGateway(xml);
    EXPECT_EQ(g.name, QStringLiteral("n"));
    EXPECT_EQ(g.state, QStringLiteral("TRYING"));
    EXPECT_TRUE(xml.isEndElement());
    EXPECT_EQ(xml.name(), QStringLiteral("gateway"));
}
