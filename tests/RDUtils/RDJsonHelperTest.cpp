#include "RDJsonHelper.h"

#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

TEST(RDJsonHelper, DuplicateKeysAreFoundAfterUnescapingAndPerObject)
{
    struct Case
    {
        const char *json;
        bool duplicate;
    };
    const Case cases[] = {
        {R"({"a":1,"b":2})", false},
        {R"({"a":1,"a":2})", true},
        {R"({"a":{"x":1},"b":1,"a":3})", true},
        {R"({"a":1,"\u0061":2})", true},      // same key once unescaped
        {R"({"\u00e9":1,"é":2})", true},      // escaped and raw UTF-8 agree
        {R"({"a\"b":1,"a\"b":2})", true},     // quotes inside keys
        {R"({"a":{"a":1},"b":{"a":2}})", false}, // same key in different objects
        {R"([{"a":1},{"a":2}])", false},
        {R"({"a":"a","b":"a"})", false},      // values are not keys
        {R"({"k":["a","a"],"l":1})", false},
        {R"({"a":1,"a)", false},              // malformed: left to the parser
        {"", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(rdJsonHasDuplicateKeys(QByteArray(c.json)), c.duplicate) << c.json;
}

TEST(RDJsonHelper, ParseRefusesDuplicatesAndKeepsQtResultOtherwise)
{
    QJsonParseError error;
    // A shape on which Qt 5's parser loses memory: refused before it runs.
    const QByteArray leaking = R"({"id":{"m":"a"},"x":"y","id":3})";
    EXPECT_TRUE(rdParseJson(leaking, &error).isNull());
    EXPECT_NE(error.error, QJsonParseError::NoError);

    const QJsonDocument ok = rdParseJson(R"({"method":"Login","id":7})", &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError);
    EXPECT_EQ(ok.object().value("id").toInt(), 7);

    EXPECT_TRUE(rdParseJson("{not json", &error).isNull());
    EXPECT_NE(error.error, QJsonParseError::NoError);
    EXPECT_TRUE(rdParseJson(R"({"a":1})", nullptr).isObject());
}

} // namespace
